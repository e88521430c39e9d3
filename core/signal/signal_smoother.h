#pragma once

#include <optional>
#include <span>
#include <vector>

#include "core/time/instant.h"

namespace quillmote {

// Median of the last second's readings, followed by an exponential approach whose
// step depends on the time since the last reading.
struct SignalSmoother {
    struct Sample {
        Instant time;
        int rssi = 0;
        friend bool operator==(const Sample&, const Sample&) = default;
    };

    double windowLength = 1.0;  // seconds
    double timeConstant = 0.9;  // seconds
    std::optional<double> value;
    std::vector<Sample> window;  // arrival order
    std::optional<Instant> lastUpdate;

    void add(int rssi, Instant time);
    // Moves every stored instant, after the wall clock was set.
    void shiftTimes(Instant::duration by);

    // Middle value, or the mean of the two middle values; `values` is never empty.
    static double median(std::span<const int> values);

    friend bool operator==(const SignalSmoother&, const SignalSmoother&) = default;
};

}  // namespace quillmote
