#pragma once

#include <optional>
#include <vector>

namespace quillmote {

// A piecewise-linear map from smoothed signal to a typographic value, for looks
// that draw stronger devices bigger and bolder.
struct SignalRamp {
    struct Anchor {
        double rssi;
        double value;
    };

    std::vector<Anchor> anchors;  // strongest signal first

    // Clamped at both ends; the weakest value when there is no signal.
    double value(std::optional<double> rssi) const;

    // The shared ramps, built once on first use.
    static const SignalRamp& voiceSize();
    static const SignalRamp& voiceWidth();
    static const SignalRamp& voiceWeight();
    static const SignalRamp& ledgerWeight();
};

namespace TypeFit {

inline constexpr double minimumSize = 11.0;

// Shrinks a size in proportion below a window width of 950 (voice) or 700
// (ledger) points, never under the minimum.
double voice(double size, double width);
double ledger(double size, double width);

}  // namespace TypeFit

}  // namespace quillmote
