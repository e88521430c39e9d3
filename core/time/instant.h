#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace quillmote {

// A wall-clock moment with sub-second precision. Integer microseconds keep re-timed
// replays exact to the millisecond that capture files store, and reach every year a
// capture file can name (nanoseconds would overflow past 2262).
using Instant = std::chrono::sys_time<std::chrono::microseconds>;

// A real number of seconds as an instant's duration, rounded to the nearest tick and
// held within what the type can represent.
Instant::duration durationOf(double seconds);

// Seconds from `from` to `to` (negative when `to` is earlier).
double secondsBetween(Instant from, Instant to);

// `instant` moved by a real number of seconds.
Instant addingSeconds(Instant instant, double seconds);

// ISO 8601 in UTC with exactly three fractional digits: 2026-03-01T14:05:09.250Z.
// Sub-millisecond parts are dropped (floored), never rounded up into the next second.
std::string formatISO8601(Instant instant);

// Reads 2026-03-01T14:05:09.250Z, the same without a fractional part, or with a
// numeric zone offset (+01:00) in place of Z. Anything else, or an impossible
// calendar date or time of day, is absent.
std::optional<Instant> parseISO8601(std::string_view text);

}  // namespace quillmote
