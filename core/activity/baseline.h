#pragma once

#include <optional>
#include <span>
#include <vector>

#include "core/activity/minute_record.h"
#include "core/time/calendar.h"

namespace quillmote {

// What is normal: the mean devices around for each well-observed past clock hour of
// the last four weeks, answered by same weekday, then same kind of day, then
// neighbouring hours, once three distinct days of evidence exist.
class Baseline {
public:
    static constexpr int lookbackDays = 28;
    static constexpr int minutesPerHour = 20;  // usable minutes an hour needs
    static constexpr int daysNeeded = 3;

    enum class Basis { sameWeekday, sameKindOfDay, nearbyHours };

    struct Usual {
        // A known level, or still learning with the days of evidence so far.
        std::optional<double> level;
        Basis basis = Basis::sameWeekday;  // meaningful when `level` is present
        int daysSoFar = 0;                 // meaningful while learning

        static Usual known(double level, Basis basis) { return {level, basis, 0}; }
        static Usual learning(int days) { return {std::nullopt, Basis::sameWeekday, days}; }
        bool isKnown() const { return level.has_value(); }
        friend bool operator==(const Usual&, const Usual&) = default;
    };

    struct HourOfDay {
        Instant day;  // start of the local day
        int weekday = 1;
        bool isWeekend = false;
        int hour = 0;
        double mean = 0;
    };

    Baseline(std::span<const MinuteRecord> minutes, Instant today, Calendar calendar);

    Usual usual(Instant at) const;

    const std::vector<HourOfDay>& hours() const { return hours_; }

    static double median(std::vector<double> values);
    static int distinctDays(std::span<const HourOfDay* const> hours);

private:
    std::vector<HourOfDay> hours_;
    Calendar calendar_;
};

}  // namespace quillmote
