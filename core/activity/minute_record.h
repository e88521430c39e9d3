#pragma once

#include <cstdint>

#include "core/time/instant.h"

namespace quillmote {

// One clock minute of activity.
struct MinuteRecord {
    Instant minute;                    // start of the minute (whole minutes since the epoch)
    std::int64_t observedSeconds = 0;  // samples that counted
    double around = 0;                 // mean devices heard in the last 30 s, per counted sample
    std::int64_t passing = 0;
    std::int64_t arrived = 0;
    std::int64_t left = 0;
    std::int64_t moved = 0;

    // Well enough observed to take a level from.
    bool isUsable() const { return observedSeconds > 44; }

    friend bool operator==(const MinuteRecord&, const MinuteRecord&) = default;
};

}  // namespace quillmote
