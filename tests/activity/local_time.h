#pragma once

#include <chrono>

#include "core/time/instant.h"

namespace quillmote::test {

// A moment written as a UTC date and time.
inline Instant utc(int y, unsigned mo, unsigned d, int h = 0, int mi = 0, int s = 0) {
    using namespace std::chrono;
    return Instant(sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s});
}

// New York outside daylight saving time (UTC−5), as the zone-pinned tests use it.
inline Instant newYorkWinter(int y, unsigned mo, unsigned d, int h = 0, int mi = 0) {
    return utc(y, mo, d, h, mi) + std::chrono::hours(5);
}

}  // namespace quillmote::test
