#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unicode/calendar.h>
#include <unicode/smpdtfmt.h>

#include "core/time/instant.h"

namespace quillmote {

// The user's calendar: local days, hours, weekdays and weekends in an explicit time
// zone and locale, so tests pin both and never depend on the machine's zone.
// Not safe to share between threads: each thread uses its own copy.
class Calendar {
public:
    struct Date {
        int year = 0;
        int month = 0;  // 1…12 in the Gregorian calendar
        int day = 0;
    };

    // A zone such as "Europe/Berlin" and a locale such as "de_DE". An unknown zone
    // reads as UTC (ICU's behaviour); the locale decides weekends and the first weekday.
    Calendar(const std::string& timeZone, const std::string& locale);
    // The zone and locale of the process's environment.
    static Calendar current();

    Calendar(const Calendar& other);
    Calendar& operator=(const Calendar& other);
    Calendar(Calendar&&) noexcept = default;
    Calendar& operator=(Calendar&&) noexcept = default;
    ~Calendar();

    std::optional<Instant> startOfDay(Instant t) const;
    std::optional<Instant> startOfHour(Instant t) const;
    // Calendar addition: whole days keep the local time of day across a
    // daylight-saving change; hours are elapsed hours.
    std::optional<Instant> addingDays(Instant t, int days) const;
    std::optional<Instant> addingHours(Instant t, int hours) const;

    int weekday(Instant t) const;  // 1 = Sunday … 7 = Saturday
    int hour(Instant t) const;     // 0…23
    Date date(Instant t) const;
    // From the locale's weekend rules, not a fixed Saturday and Sunday.
    bool isWeekend(Instant t) const;
    // The full localized weekday name ("Monday", "Montag").
    std::string weekdayName(Instant t) const;
    // The local hour as the locale writes an hour alone: "3 PM", "15 Uhr", "15".
    std::string hourName(Instant t) const;
    // The locale's short time without a date: "3:05 PM", "15:05".
    std::string shortTime(Instant t) const;
    // The fields of an ICU skeleton in the locale's order and punctuation:
    // "EEEdMMM" gives "Mon, Mar 3" or "Mo., 3. März".
    std::string formatted(Instant t, std::string_view skeleton) const;

    const std::string& timeZone() const { return timeZone_; }
    const std::string& locale() const { return locale_; }

private:
    std::string timeZone_;
    std::string locale_;
    // ICU calendars are stateful: every query sets the time first.
    std::unique_ptr<icu::Calendar> calendar_;
    // Built on first use and kept, by skeleton: finding a locale's pattern is costly,
    // and the window formats on every publish.
    mutable std::map<std::string, std::unique_ptr<icu::SimpleDateFormat>, std::less<>> formats_;

    icu::Calendar& at(Instant t) const;
    std::string format(Instant t, std::string_view key) const;
};

}  // namespace quillmote
