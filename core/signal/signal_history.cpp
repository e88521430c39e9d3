#include "core/signal/signal_history.h"

#include <cstdint>

namespace quillmote {

namespace {

// 2001-01-01T00:00:00Z, from which whole seconds are counted.
constexpr Instant referenceDate{std::chrono::seconds(978307200)};

// Truncated towards zero, in integer ticks so no rounding can move a
// reading into the next second.
std::int64_t wholeSecond(Instant time) {
    return std::chrono::duration_cast<std::chrono::seconds>(time - referenceDate).count();
}

}  // namespace

void SignalHistory::record(double rssi, Instant time) {
    if (!points.empty() && wholeSecond(points.back().time) == wholeSecond(time)) {
        points.back() = {time, rssi};
    } else {
        points.push_back({time, rssi});
    }
    // Compared as instants: this runs for every packet heard.
    const Instant oldestKept = time - durationOf(span);
    std::erase_if(points, [oldestKept](const SignalPoint& point) { return point.time < oldestKept; });
}

}  // namespace quillmote
