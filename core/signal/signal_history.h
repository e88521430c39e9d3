#pragma once

#include <vector>

#include "core/time/instant.h"

namespace quillmote {

struct SignalPoint {
    Instant time;
    double rssi = 0;
    friend bool operator==(const SignalPoint&, const SignalPoint&) = default;
};

// The last smoothed value of each whole second, for two minutes.
struct SignalHistory {
    static constexpr double span = 120.0;  // seconds

    std::vector<SignalPoint> points;  // time order, at most one per whole second

    void record(double rssi, Instant time);
    void shiftTimes(Instant::duration by) {
        for (auto& point : points) point.time += by;
    }

    friend bool operator==(const SignalHistory&, const SignalHistory&) = default;
};

}  // namespace quillmote
