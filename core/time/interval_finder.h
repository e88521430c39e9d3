#pragma once

#include <optional>

#include "core/time/calendar.h"

namespace quillmote {

// The local hour or day containing a moment, remembering the last one found: minutes
// mostly come in time order and fall in the interval before, which spares a calendar
// call per minute. The next interval's start comes from the calendar, so odd hours
// and days around clock changes stay exact.
class IntervalFinder {
public:
    enum class Unit { hour, day };

    IntervalFinder(Unit unit, const Calendar& calendar) : unit_(unit), calendar_(calendar) {}

    std::optional<Instant> startOf(Instant t);

private:
    Unit unit_;
    const Calendar& calendar_;
    Instant start_{};
    Instant end_{};
    bool known_ = false;
};

}  // namespace quillmote
