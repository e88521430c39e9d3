#include "core/time/calendar.h"

#include <gtest/gtest.h>

#include <unicode/locid.h>
#include <unicode/timezone.h>

#include "tests/activity/local_time.h"

namespace quillmote {
namespace {

using namespace std::chrono_literals;
using test::utc;

TEST(Calendar, DaysAcrossDaylightSavingChanges) {
    Calendar newYork("America/New_York", "en_US");
    // 2024-03-10 has 23 hours: midnight EST (05:00Z) to midnight EDT (04:00Z).
    EXPECT_EQ(newYork.startOfDay(utc(2024, 3, 10, 15)), utc(2024, 3, 10, 5));
    EXPECT_EQ(newYork.addingDays(utc(2024, 3, 10, 5), 1), utc(2024, 3, 11, 4));
    EXPECT_EQ(newYork.addingDays(utc(2024, 3, 11, 4), -1), utc(2024, 3, 10, 5));
    // Calendar days keep the time of day; hours are elapsed time.
    EXPECT_EQ(newYork.addingDays(utc(2024, 3, 9, 17), 1), utc(2024, 3, 10, 16));
    EXPECT_EQ(newYork.addingHours(utc(2024, 3, 10, 5), 3), utc(2024, 3, 10, 8));
    EXPECT_EQ(newYork.hour(utc(2024, 3, 10, 8)), 4) << "02:00 does not exist that night";
    // 2024-11-03 has 25 hours.
    EXPECT_EQ(newYork.startOfDay(utc(2024, 11, 4, 3, 59)), utc(2024, 11, 3, 4));
    EXPECT_EQ(newYork.addingDays(utc(2024, 11, 3, 4), 1), utc(2024, 11, 4, 5));
    EXPECT_EQ(newYork.startOfDay(utc(2024, 11, 4, 5)), utc(2024, 11, 4, 5));

    Calendar berlin("Europe/Berlin", "de_DE");
    EXPECT_EQ(berlin.startOfDay(utc(2024, 3, 31, 12)), utc(2024, 3, 30, 23));
    EXPECT_EQ(berlin.addingDays(utc(2024, 3, 30, 23), 1), utc(2024, 3, 31, 22));
    EXPECT_EQ(berlin.startOfDay(utc(2024, 10, 27, 22, 59)), utc(2024, 10, 26, 22));
    EXPECT_EQ(berlin.addingDays(utc(2024, 10, 26, 22), 1), utc(2024, 10, 27, 23));
    // A date on the local side of midnight, not the UTC one.
    EXPECT_EQ(berlin.date(utc(2024, 3, 30, 23, 30)).day, 31);
    EXPECT_EQ(berlin.date(utc(2024, 12, 31, 23, 30)).year, 2025);
    EXPECT_EQ(berlin.date(utc(2024, 12, 31, 23, 30)).month, 1);
}

TEST(Calendar, DaysThatDoNotStartAtMidnightOnce) {
    // Santiago skips from 00:00 to 01:00 on 2024-09-08: the day starts at 01:00 (04:00Z).
    Calendar santiago("America/Santiago", "es_CL");
    auto start = santiago.startOfDay(utc(2024, 9, 8, 15));
    EXPECT_EQ(start, utc(2024, 9, 8, 4));
    EXPECT_EQ(santiago.hour(*start), 1);
    EXPECT_EQ(santiago.startOfDay(utc(2024, 9, 8, 4)), utc(2024, 9, 8, 4));

    // Havana turns 01:00 back to 00:00 on 2024-11-03: midnight happens twice, and the
    // day began at the first one, whichever occurrence a moment falls in.
    Calendar havana("America/Havana", "es_CU");
    EXPECT_EQ(havana.startOfDay(utc(2024, 11, 3, 4, 30)), utc(2024, 11, 3, 4));
    EXPECT_EQ(havana.startOfDay(utc(2024, 11, 3, 5, 30)), utc(2024, 11, 3, 4));
    EXPECT_EQ(havana.startOfDay(utc(2024, 11, 3, 20)), utc(2024, 11, 3, 4));
    EXPECT_EQ(havana.startOfHour(utc(2024, 11, 3, 4, 30)), utc(2024, 11, 3, 4));
    EXPECT_EQ(havana.startOfHour(utc(2024, 11, 3, 5, 30)), utc(2024, 11, 3, 5));
}

TEST(Calendar, HoursIncludingTheRepeatedOne) {
    Calendar newYork("America/New_York", "en_US");
    EXPECT_EQ(newYork.startOfHour(utc(2024, 2, 1, 14, 59, 59) + 999ms), utc(2024, 2, 1, 14));
    // 01:00–02:00 on 2024-11-03 happens in EDT (05:00Z) and again in EST (06:00Z).
    EXPECT_EQ(newYork.startOfHour(utc(2024, 11, 3, 5, 30)), utc(2024, 11, 3, 5));
    EXPECT_EQ(newYork.startOfHour(utc(2024, 11, 3, 6, 30)), utc(2024, 11, 3, 6));
    EXPECT_EQ(newYork.hour(utc(2024, 11, 3, 5, 30)), 1);
    EXPECT_EQ(newYork.hour(utc(2024, 11, 3, 6, 30)), 1);
    EXPECT_EQ(newYork.addingHours(utc(2024, 11, 3, 5), 1), utc(2024, 11, 3, 6));
    // A zone half an hour off whole hours.
    Calendar kolkata("Asia/Kolkata", "en_IN");
    EXPECT_EQ(kolkata.startOfHour(utc(2024, 2, 1, 10, 10)), utc(2024, 2, 1, 9, 30));
    EXPECT_EQ(kolkata.hour(utc(2024, 2, 1, 10, 10)), 15);
}

TEST(Calendar, SubMillisecondsAndUnknownZones) {
    Calendar utcCalendar("UTC", "en_US");
    Instant t = utc(2024, 2, 1, 14, 5) + 250us;
    EXPECT_EQ(utcCalendar.addingHours(t, 2), utc(2024, 2, 1, 16, 5) + 250us);
    EXPECT_EQ(utcCalendar.addingDays(t, -1), utc(2024, 1, 31, 14, 5) + 250us);
    EXPECT_EQ(utcCalendar.startOfHour(t), utc(2024, 2, 1, 14));
    // Before the epoch.
    EXPECT_EQ(utcCalendar.startOfDay(utc(1969, 7, 20, 20, 17) + 1500us), utc(1969, 7, 20));

    Calendar unknown("Nowhere/Atlantis", "en_US");
    EXPECT_EQ(unknown.startOfDay(utc(2024, 3, 10, 15)), utc(2024, 3, 10));
    EXPECT_EQ(unknown.timeZone(), "Nowhere/Atlantis");
    EXPECT_EQ(unknown.locale(), "en_US");
}

TEST(Calendar, WeekdaysAndNames) {
    Calendar newYork("America/New_York", "en_US");
    // 2024-03-05T03:00Z is Tuesday in UTC but still Monday evening in New York.
    Instant mondayEvening = utc(2024, 3, 5, 3);
    EXPECT_EQ(newYork.weekday(mondayEvening), 2);
    EXPECT_EQ(newYork.hour(mondayEvening), 22);
    EXPECT_EQ(newYork.weekdayName(mondayEvening), "Monday");
    EXPECT_EQ(newYork.weekday(utc(2024, 3, 3, 12)), 1);
    EXPECT_EQ(newYork.weekday(utc(2024, 3, 9, 12)), 7);

    EXPECT_EQ(Calendar("Europe/Berlin", "de_DE").weekdayName(utc(2024, 3, 4, 12)), "Montag");
    EXPECT_EQ(Calendar("Europe/Berlin", "de_DE").weekdayName(utc(2024, 3, 3, 23, 30)), "Montag");
    EXPECT_EQ(Calendar("Europe/Moscow", "ru_RU").weekdayName(utc(2024, 3, 4, 12)), "понедельник");
    EXPECT_EQ(Calendar("Europe/Paris", "fr_FR").weekdayName(utc(2024, 3, 6, 12)), "mercredi");

    // An hour alone, as each locale writes one: with a day-period marker only where used.
    EXPECT_EQ(newYork.hourName(mondayEvening), "10\u202FPM");
    EXPECT_EQ(Calendar("Europe/London", "en_GB").hourName(utc(2024, 3, 5, 3)), "03");
    Calendar berlin("Europe/Berlin", "de_DE");
    EXPECT_EQ(berlin.hourName(utc(2024, 3, 5, 3)), "04 Uhr");
    berlin = newYork;  // a calendar given another locale writes hours its way
    EXPECT_EQ(berlin.hourName(mondayEvening), "10\u202FPM");
}

TEST(Calendar, WeekendsFollowTheLocale) {
    // Noon UTC on 2024-03-03 (Sunday) … 2024-03-09 (Saturday).
    auto weekendDays = [](const Calendar& calendar) {
        std::string days;
        for (unsigned d = 3; d <= 9; ++d) days += calendar.isWeekend(utc(2024, 3, d, 12)) ? 'x' : '.';
        return days;
    };
    EXPECT_EQ(weekendDays(Calendar("America/New_York", "en_US")), "x.....x");
    EXPECT_EQ(weekendDays(Calendar("Asia/Jerusalem", "he_IL")), ".....xx");
    EXPECT_EQ(weekendDays(Calendar("Asia/Riyadh", "ar_SA")), ".....xx");
    EXPECT_EQ(weekendDays(Calendar("Asia/Kolkata", "en_IN")), "x......");

    // The local day decides: 23:30Z on a Friday is already Saturday in Berlin.
    Calendar berlin("Europe/Berlin", "de_DE");
    EXPECT_TRUE(berlin.isWeekend(utc(2024, 3, 8, 23, 30)));
    EXPECT_FALSE(Calendar("UTC", "de_DE").isWeekend(utc(2024, 3, 8, 23, 30)));
    EXPECT_FALSE(berlin.isWeekend(utc(2024, 3, 10, 23, 30)));
}

TEST(Calendar, CopiesAreIndependentAndEmptiedOnesAnswerNothing) {
    Calendar berlin("Europe/Berlin", "de_DE");
    Calendar copy(berlin);
    berlin = Calendar("America/New_York", "en_US");
    EXPECT_EQ(copy.startOfDay(utc(2024, 3, 31, 12)), utc(2024, 3, 30, 23));
    EXPECT_EQ(copy.weekdayName(utc(2024, 3, 4, 12)), "Montag");
    EXPECT_EQ(berlin.startOfDay(utc(2024, 3, 31, 12)), utc(2024, 3, 31, 4));

    // A moved-from calendar answers nothing rather than crashing.
    Calendar moved(std::move(copy));
    EXPECT_EQ(moved.hour(utc(2024, 3, 31, 12)), 14);
    EXPECT_EQ(copy.startOfDay(utc(2024, 3, 31, 12)), std::nullopt);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(copy.addingDays(utc(2024, 3, 31, 12), 1), std::nullopt);
    EXPECT_EQ(copy.weekdayName(utc(2024, 3, 31, 12)), "");
    Calendar again(copy);
    EXPECT_FALSE(again.isWeekend(utc(2024, 3, 31, 12)));
}

TEST(Calendar, CurrentUsesTheProcessDefaults) {
    std::unique_ptr<icu::TimeZone> savedZone(icu::TimeZone::createDefault());
    icu::Locale savedLocale = icu::Locale::getDefault();
    icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("Asia/Tokyo"));
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("de_DE"), status);

    Calendar current = Calendar::current();
    EXPECT_EQ(current.timeZone(), "Asia/Tokyo");
    EXPECT_EQ(current.locale(), "de_DE");
    EXPECT_EQ(current.startOfDay(utc(2024, 3, 4, 12)), utc(2024, 3, 3, 15));
    EXPECT_EQ(current.weekdayName(utc(2024, 3, 4, 12)), "Montag");

    icu::TimeZone::adoptDefault(savedZone.release());
    icu::Locale::setDefault(savedLocale, status);
}

}  // namespace
}  // namespace quillmote
