#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/time/calendar.h"

namespace quillmote {

struct UnfamiliarDevice {
    std::string name;
    Instant firstHeardToday;
    std::int64_t secondsToday = 0;
    int earlierDays = 0;  // past days within the lookback with a minute or more

    friend bool operator==(const UnfamiliarDevice&, const UnfamiliarDevice&) = default;
};

// Per device name and local day: when it was first heard and for how many seconds.
// Regulars are heard for a minute on three of the last 28 days; today's other
// names heard for a minute are unfamiliar.
struct NamedPresence {
    static constexpr int regularAfterDays = 3;
    static constexpr int lookbackDays = 28;
    static constexpr std::int64_t minimumSecondsPerDay = 60;

    struct Day {
        Instant firstHeard;
        std::int64_t seconds = 0;
        friend bool operator==(const Day&, const Day&) = default;
    };

    // name → day key ("2026-03-14", local) → day
    std::map<std::string, std::map<std::string, Day>> days;

    void heard(const std::set<std::string>& names, Instant at, const Calendar& calendar);
    int pastDaysRecorded(Instant asOf, const Calendar& calendar) const;
    bool isLearning(Instant asOf, const Calendar& calendar) const;
    bool isRegular(const std::string& name, Instant asOf, const Calendar& calendar) const;
    std::vector<UnfamiliarDevice> unfamiliar(Instant on, const Calendar& calendar) const;
    void pruneOlderThan(int dayCount, Instant now, const Calendar& calendar);

    // "%04d-%02d-%02d" of the local date; sorts chronologically as text.
    static std::string dayKey(Instant t, const Calendar& calendar);

    friend bool operator==(const NamedPresence&, const NamedPresence&) = default;

private:
    int daysHeard(const std::string& name, Instant before, const Calendar& calendar) const;
    static std::set<std::string> recentDayKeys(Instant before, const Calendar& calendar);
};

}  // namespace quillmote
