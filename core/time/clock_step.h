#pragma once

#include <optional>

#include "core/time/instant.h"

namespace quillmote {

// Notices the wall clock being set (by hand, by a time sync, or after the machine
// slept): between two readings it compares how far the wall clock moved with how far
// a monotonic clock moved, which nothing sets.
class ClockStep {
public:
    // Differences this small are drift and slewing, not a step.
    static constexpr double tolerance = 0.5;  // seconds

    // How far the wall clock jumped since the previous reading (negative: set back),
    // or zero. The first reading only sets the reference.
    Instant::duration observe(Instant wall, double monotonicSeconds);

private:
    struct Reading {
        Instant wall;
        double monotonic;
    };
    std::optional<Reading> previous_;
};

}  // namespace quillmote
