#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "core/time/instant.h"

namespace quillmote {

enum class TrendDirection { warmer, colder, steady };

// "Warmer", "Colder", "Steady"
std::string_view rawValue(TrendDirection direction);

// Warmer or colder: the signal now against the signal about three seconds ago,
// ignoring changes within the dead band.
struct TrendTracker {
    struct Sample {
        Instant time;
        double rssi = 0;
        friend bool operator==(const Sample&, const Sample&) = default;
    };

    double lookBack = 3.0;  // seconds
    double deadBand = 2.0;  // dB
    std::vector<Sample> samples;  // oldest first

    TrendDirection add(double rssi, Instant time);
    void reset() { samples.clear(); }
    void shiftTimes(Instant::duration by) {
        for (auto& sample : samples) sample.time += by;
    }

    friend bool operator==(const TrendTracker&, const TrendTracker&) = default;
};

}  // namespace quillmote
