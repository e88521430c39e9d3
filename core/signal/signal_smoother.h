#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>

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
    // Time order (arrival order among equal times), so what a new reading ends is at the front.
    std::deque<Sample> window;
    std::optional<Instant> lastUpdate;
    // How many readings of the window have each value from −127 to 0, so that the
    // median is a walk over these counts rather than a pass over every reading: a
    // device can send thousands a second. Readings outside that range are only
    // counted, and a window holding any is ordered instead.
    std::array<std::uint32_t, 128> counts{};
    std::uint32_t outside = 0;

    void add(int rssi, Instant time);
    // Moves every stored instant, after the wall clock was set.
    void shiftTimes(Instant::duration by);

    // Middle value, or the mean of the two middle values; `values` is never empty.
    static double median(std::span<const int> values);

    friend bool operator==(const SignalSmoother&, const SignalSmoother&) = default;
};

}  // namespace quillmote
