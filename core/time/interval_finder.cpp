#include "core/time/interval_finder.h"

namespace quillmote {

std::optional<Instant> IntervalFinder::startOf(Instant t) {
    if (known_ && start_ <= t && t < end_) return start_;
    known_ = false;
    auto start = unit_ == Unit::hour ? calendar_.startOfHour(t) : calendar_.startOfDay(t);
    if (!start) return std::nullopt;
    std::optional<Instant> next;
    if (unit_ == Unit::hour) {
        next = calendar_.startOfHour(*start + std::chrono::hours(1));
    } else if (auto tomorrow = calendar_.addingDays(*start, 1)) {
        next = calendar_.startOfDay(*tomorrow);
    }
    if (next && *next > t) {
        start_ = *start;
        end_ = *next;
        known_ = true;
    }
    return start;
}

}  // namespace quillmote
