#include "core/signal/signal_ramp.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace quillmote {

namespace {

constexpr std::array<double, 10> signalAnchors{-53, -61, -75, -79, -82, -85, -91, -92, -93, -97};

SignalRamp makeRamp(const std::array<double, 10>& values) {
    SignalRamp ramp;
    ramp.anchors.reserve(signalAnchors.size());
    for (std::size_t i = 0; i < signalAnchors.size(); ++i) ramp.anchors.push_back({signalAnchors[i], values[i]});
    return ramp;
}

double fit(double size, double width, double fullWidth) {
    // A negative or NaN width counts as no room at all.
    double factor = width > 0 ? std::min(width / fullWidth, 1.0) : 0.0;
    return std::fmax(size * factor, TypeFit::minimumSize);
}

}  // namespace

double SignalRamp::value(std::optional<double> rssi) const {
    if (anchors.empty()) return 0.0;
    if (!rssi) return anchors.back().value;
    if (*rssi >= anchors.front().rssi) return anchors.front().value;
    if (*rssi <= anchors.back().rssi || anchors.size() == 1) return anchors.back().value;
    for (std::size_t i = 1; i < anchors.size(); ++i) {
        const Anchor& stronger = anchors[i - 1];
        const Anchor& weaker = anchors[i];
        if (weaker.rssi <= *rssi) {
            return stronger.value +
                   (stronger.rssi - *rssi) / (stronger.rssi - weaker.rssi) * (weaker.value - stronger.value);
        }
    }
    // Only a NaN reading gets here.
    return anchors.back().value;
}

const SignalRamp& SignalRamp::voiceSize() {
    static const SignalRamp ramp = makeRamp({112, 94, 62, 54, 47, 40, 27, 24, 22, 13});
    return ramp;
}

const SignalRamp& SignalRamp::voiceWidth() {
    static const SignalRamp ramp = makeRamp({125, 114, 94, 88, 84, 80, 71, 69, 68, 62});
    return ramp;
}

const SignalRamp& SignalRamp::voiceWeight() {
    static const SignalRamp ramp = makeRamp({800, 700, 560, 510, 470, 440, 370, 350, 340, 250});
    return ramp;
}

const SignalRamp& SignalRamp::ledgerWeight() {
    static const SignalRamp ramp = makeRamp({800, 720, 600, 540, 480, 420, 330, 300, 260, 180});
    return ramp;
}

namespace TypeFit {

double voice(double size, double width) { return fit(size, width, 950.0); }
double ledger(double size, double width) { return fit(size, width, 700.0); }

}  // namespace TypeFit

}  // namespace quillmote
