#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/activity/minute_record.h"
#include "core/time/calendar.h"

namespace quillmote {

// One hour or one day of activity for the charts.
struct ActivityBucket {
    Instant start;
    std::optional<double> around;  // mean of the usable minutes; absent without any
    std::optional<double> peak;
    std::int64_t passing = 0;  // event counts keep every minute, usable or not
    std::int64_t arrived = 0;
    std::int64_t left = 0;
    std::int64_t moved = 0;
    int heardMinutes = 0;  // usable minutes

    friend bool operator==(const ActivityBucket&, const ActivityBucket&) = default;
};

namespace ActivitySeries {
// The 24 local hours of the day containing `on`, oldest first.
std::vector<ActivityBucket> hourly(std::span<const MinuteRecord> minutes, Instant on, const Calendar& calendar);
// `days` local days ending with the day containing `endingOn`.
std::vector<ActivityBucket> daily(std::span<const MinuteRecord> minutes, int days, Instant endingOn,
                                  const Calendar& calendar);
}  // namespace ActivitySeries

// The compact label of a day on the daily axis: a weekday letter, and on Mondays
// the date ("3 Mar"). Fixed English, not localized.
struct DayAxisLabel {
    std::string letter;
    std::optional<std::string> date;

    DayAxisLabel(Instant t, const Calendar& calendar);

    friend bool operator==(const DayAxisLabel&, const DayAxisLabel&) = default;
};

}  // namespace quillmote
