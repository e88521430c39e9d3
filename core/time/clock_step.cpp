#include "core/time/clock_step.h"

#include <cmath>
#include <utility>

namespace quillmote {

Instant::duration ClockStep::observe(Instant wall, double monotonicSeconds) {
    const auto previous = std::exchange(previous_, Reading{wall, monotonicSeconds});
    if (!previous) return {};
    const double step = secondsBetween(previous->wall, wall) - (monotonicSeconds - previous->monotonic);
    if (!(std::fabs(step) > tolerance)) return {};
    return durationOf(step);
}

}  // namespace quillmote
