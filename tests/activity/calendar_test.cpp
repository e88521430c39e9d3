#include "core/time/calendar.h"

#include <gtest/gtest.h>

#include <tuple>
#include <unicode/timezone.h>

#include "tests/activity/local_time.h"

namespace quillmote {
namespace {

using namespace std::chrono_literals;
using test::utc;

const Calendar newYork("America/New_York", "en_US");

TEST(Calendar, DaysAcrossDaylightSavingChanges) {
    // Calendar days keep the time of day across the 23-hour 10 March 2024.
    EXPECT_EQ(newYork.addingDays(utc(2024, 3, 9, 17), 1), utc(2024, 3, 10, 16));
    // 2024-11-03 has 25 hours.
    EXPECT_EQ(newYork.startOfDay(utc(2024, 11, 4, 3, 59)), utc(2024, 11, 3, 4));
    EXPECT_EQ(newYork.addingDays(utc(2024, 11, 3, 4), 1), utc(2024, 11, 4, 5));
    EXPECT_EQ(newYork.startOfDay(utc(2024, 11, 4, 5)), utc(2024, 11, 4, 5));
    // A date on the local side of midnight, not the UTC one.
    const auto newYearsEve = newYork.date(utc(2025, 1, 1, 4, 30));
    EXPECT_EQ(std::tuple(newYearsEve.year, newYearsEve.month, newYearsEve.day), std::tuple(2024, 12, 31));
}

TEST(Calendar, DaysThatDoNotStartAtMidnightOnce) {
    // Santiago skips from 00:00 to 01:00 on 2024-09-08: the day starts at 01:00 (04:00Z).
    Calendar santiago("America/Santiago", "es_CL");
    EXPECT_EQ(santiago.startOfDay(utc(2024, 9, 8, 15)), utc(2024, 9, 8, 4));

    // Havana turns 01:00 back to 00:00 on 2024-11-03: midnight happens twice, and the
    // day began at the first one, whichever occurrence a moment falls in.
    Calendar havana("America/Havana", "es_CU");
    EXPECT_EQ(havana.startOfDay(utc(2024, 11, 3, 4, 30)), utc(2024, 11, 3, 4));
    EXPECT_EQ(havana.startOfDay(utc(2024, 11, 3, 5, 30)), utc(2024, 11, 3, 4));
}

TEST(Calendar, SubMillisecondsAndUnknownZones) {
    // Addition keeps what lies below ICU's milliseconds.
    EXPECT_EQ(newYork.addingHours(utc(2024, 11, 3, 5) + 250us, 1), utc(2024, 11, 3, 6) + 250us);
    EXPECT_EQ(newYork.addingDays(utc(2024, 2, 1, 14) + 250us, -1), utc(2024, 1, 31, 14) + 250us);
    // An unknown zone reads as UTC.
    EXPECT_EQ(Calendar("Nowhere/Atlantis", "en_US").startOfDay(utc(2024, 3, 10, 15)), utc(2024, 3, 10));
}

TEST(Calendar, WeekdaysAndNamesOfTheLocalDay) {
    // 2024-03-05T03:00Z is Tuesday in UTC but still Monday evening in New York.
    Instant mondayEvening = utc(2024, 3, 5, 3);
    EXPECT_EQ(newYork.weekday(mondayEvening), 2);
    EXPECT_EQ(newYork.weekdayName(mondayEvening), "Monday");
    // An hour alone, as each locale writes one: with a day-period marker only where used.
    EXPECT_EQ(newYork.hourName(mondayEvening), "10\u202FPM");
    Calendar berlin("Europe/Berlin", "de_DE");
    EXPECT_EQ(berlin.hourName(mondayEvening), "04 Uhr");
    berlin = newYork;  // a calendar given another locale writes hours its way
    EXPECT_EQ(berlin.hourName(mondayEvening), "10\u202FPM");
}

TEST(Calendar, WeekendsFollowTheLocale) {
    const Instant friday = utc(2024, 3, 8, 12);
    EXPECT_TRUE(Calendar("Asia/Jerusalem", "he_IL").isWeekend(friday));
    EXPECT_FALSE(Calendar("Asia/Jerusalem", "en_US").isWeekend(friday));
}

TEST(Calendar, CurrentUsesTheProcessZone) {
    std::unique_ptr<icu::TimeZone> savedZone(icu::TimeZone::createDefault());
    icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("Asia/Tokyo"));
    const Calendar current = Calendar::current();
    EXPECT_EQ(current.timeZone(), "Asia/Tokyo");
    EXPECT_EQ(current.startOfDay(utc(2024, 3, 4, 12)), utc(2024, 3, 3, 15));
    icu::TimeZone::adoptDefault(savedZone.release());
}

}  // namespace
}  // namespace quillmote
