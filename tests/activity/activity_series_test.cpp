#include "core/activity/activity_series.h"

#include <gtest/gtest.h>

#include "tests/activity/local_time.h"

namespace quillmote {
namespace {

using namespace std::chrono_literals;
using test::newYorkWinter;
using test::utc;

const Calendar newYork("America/New_York", "en_US");

MinuteRecord minute(Instant at, double around, std::int64_t observed = 60, std::int64_t passing = 0) {
    MinuteRecord record;
    record.minute = at;
    record.observedSeconds = observed;
    record.around = around;
    record.passing = passing;
    return record;
}

int totalHeard(const std::vector<ActivityBucket>& buckets) {
    int total = 0;
    for (const auto& bucket : buckets) total += bucket.heardMinutes;
    return total;
}

TEST(ActivitySeries, HourlyOnAnOrdinaryDay) {
    std::vector<MinuteRecord> minutes;
    // 09:00: 30 usable minutes averaging 12, and 5 unusable ones with far-off levels.
    for (int i = 0; i < 30; ++i) minutes.push_back(minute(newYorkWinter(2024, 2, 20, 9, i), i % 2 ? 14 : 10, 45, 2));
    for (int i = 30; i < 35; ++i) minutes.push_back(minute(newYorkWinter(2024, 2, 20, 9, i), 99, 44, 1));
    // 10:00: only unusable minutes, still with events.
    for (int i = 0; i < 3; ++i) {
        auto record = minute(newYorkWinter(2024, 2, 20, 10, i), 50, 10);
        record.arrived = 2;
        record.left = 1;
        record.moved = 4;
        minutes.push_back(record);
    }

    auto hours = ActivitySeries::hourly(minutes, newYorkWinter(2024, 2, 20, 15), newYork);
    ASSERT_EQ(hours.size(), 24u);
    for (int h = 0; h < 24; ++h) EXPECT_EQ(hours[h].start, newYorkWinter(2024, 2, 20, h)) << h;

    EXPECT_EQ(hours[9].around, 12);
    EXPECT_EQ(hours[9].peak, 14);
    EXPECT_EQ(hours[9].heardMinutes, 30);
    EXPECT_EQ(hours[9].passing, 30 * 2 + 5);
    EXPECT_EQ(hours[10].around, std::nullopt);
    EXPECT_EQ(hours[10].peak, std::nullopt);
    EXPECT_EQ(hours[10].heardMinutes, 0);
    EXPECT_EQ(hours[10].arrived, 6);
    EXPECT_EQ(hours[10].left, 3);
    EXPECT_EQ(hours[10].moved, 12);
    ActivityBucket empty;
    empty.start = newYorkWinter(2024, 2, 20, 11);
    EXPECT_EQ(hours[11], empty);

    // Yesterday's and tomorrow's minutes, in any order, change nothing.
    auto more = minutes;
    more.insert(more.begin(), minute(newYorkWinter(2024, 2, 19, 9, 30), 500, 60, 7));
    more.push_back(minute(newYorkWinter(2024, 2, 21, 0, 10), 500, 60, 7));
    std::reverse(more.begin(), more.end());
    EXPECT_EQ(ActivitySeries::hourly(more, newYorkWinter(2024, 2, 20, 0), newYork), hours);
    // In another zone the same minutes fall in other hours.
    auto utcHours = ActivitySeries::hourly(minutes, utc(2024, 2, 20, 15), Calendar("UTC", "en_US"));
    EXPECT_EQ(utcHours[14].heardMinutes, 30);
}

TEST(ActivitySeries, HourlyAcrossClockChanges) {
    // 10 March 2024 in New York has 23 hours: 24 elapsed hours reach the next midnight.
    std::vector<MinuteRecord> minutes{minute(utc(2024, 3, 10, 7, 30), 5), minute(utc(2024, 3, 11, 4, 30), 6)};
    auto spring = ActivitySeries::hourly(minutes, utc(2024, 3, 10, 15), newYork);
    ASSERT_EQ(spring.size(), 24u);
    for (int h = 0; h < 24; ++h) EXPECT_EQ(spring[h].start, utc(2024, 3, 10, 5) + std::chrono::hours(h)) << h;
    EXPECT_EQ(spring[2].around, 5) << "03:30 EDT is the third hour of that day";
    EXPECT_EQ(spring[23].start, utc(2024, 3, 11, 4));
    EXPECT_EQ(spring[23].around, 6);

    // 3 November has 25 hours: both 01:00 hours are there, the last hour is not.
    minutes = {minute(utc(2024, 11, 3, 5, 30), 1), minute(utc(2024, 11, 3, 6, 30), 2),
               minute(utc(2024, 11, 4, 4, 30), 3)};
    auto autumn = ActivitySeries::hourly(minutes, utc(2024, 11, 3, 15), newYork);
    ASSERT_EQ(autumn.size(), 24u);
    EXPECT_EQ(autumn.front().start, utc(2024, 11, 3, 4));
    EXPECT_EQ(autumn.back().start, utc(2024, 11, 4, 3));
    EXPECT_EQ(autumn[1].around, 1);
    EXPECT_EQ(autumn[2].around, 2);
    EXPECT_EQ(totalHeard(autumn), 2);
}

TEST(ActivitySeries, Daily) {
    Instant today = utc(2024, 3, 20, 16);
    std::vector<MinuteRecord> minutes{
        minute(utc(2024, 2, 20, 4, 59), 1),  // 19 February, local
        minute(utc(2024, 2, 20, 5), 2),      // the first minute of 20 February
        minute(utc(2024, 3, 11, 3, 30), 3),  // 23:30 on 10 March
        minute(utc(2024, 3, 11, 4), 4),      // 00:00 on 11 March
        minute(utc(2024, 3, 20, 15), 5, 30, 9),
    };
    auto days = ActivitySeries::daily(minutes, 30, today, newYork);
    ASSERT_EQ(days.size(), 30u);
    EXPECT_EQ(days.front().start, utc(2024, 2, 20, 5));
    EXPECT_EQ(days.back().start, utc(2024, 3, 20, 4));
    EXPECT_EQ(days[19].start, utc(2024, 3, 10, 5));
    EXPECT_EQ(days[20].start, utc(2024, 3, 11, 4));
    for (const auto& day : days) EXPECT_EQ(newYork.startOfDay(day.start), day.start);
    EXPECT_EQ(days.front().around, 2);
    EXPECT_EQ(days[19].around, 3);
    EXPECT_EQ(days[20].around, 4);
    EXPECT_EQ(days.back().heardMinutes, 0);
    EXPECT_EQ(days.back().passing, 9);
    EXPECT_EQ(totalHeard(days), 3);

    EXPECT_TRUE(ActivitySeries::daily(minutes, 0, today, newYork).empty());
    EXPECT_TRUE(ActivitySeries::daily(minutes, -3, today, newYork).empty());
    auto one = ActivitySeries::daily(minutes, 1, today, newYork);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one.front(), days.back());
}

using Label = std::pair<std::string, std::optional<std::string>>;

Label label(Instant t, const Calendar& calendar) {
    DayAxisLabel label(t, calendar);
    return {label.letter, label.date};
}

TEST(DayAxisLabel, LettersAndMondayDates) {
    EXPECT_EQ(label(newYorkWinter(2025, 3, 3, 12), newYork), (Label{"M", "3 Mar"}));
    EXPECT_EQ(label(newYorkWinter(2025, 3, 4, 12), newYork), (Label{"T", std::nullopt}));
    std::string week;
    for (unsigned day = 2; day <= 8; ++day) week += DayAxisLabel(newYorkWinter(2025, 3, day, 12), newYork).letter;
    EXPECT_EQ(week, "SMTWTFS");
    EXPECT_EQ(DayAxisLabel(newYorkWinter(2025, 12, 1, 12), newYork).date, "1 Dec");
    EXPECT_EQ(DayAxisLabel(newYorkWinter(2026, 1, 5, 12), newYork).date, "5 Jan");

    // Monday evening in New York is Tuesday in UTC.
    EXPECT_EQ(label(utc(2025, 3, 4, 3), newYork), (Label{"M", "3 Mar"}));
    EXPECT_EQ(label(utc(2025, 3, 4, 3), Calendar("UTC", "en_US")), (Label{"T", std::nullopt}));
    // Fixed English whatever the locale.
    EXPECT_EQ(label(utc(2025, 3, 3, 12), Calendar("Europe/Berlin", "de_DE")), (Label{"M", "3 Mar"}));

    // Elul, the thirteenth month of the Hebrew calendar, takes the last entry of the
    // table. Monday 9 September 2024 is 6 Elul 5784.
    Calendar hebrew("Asia/Jerusalem", "he_IL@calendar=hebrew");
    EXPECT_EQ(hebrew.date(utc(2024, 9, 9, 9)).month, 13);
    EXPECT_EQ(label(utc(2024, 9, 9, 9), hebrew), (Label{"M", "6 Dec"}));
}

}  // namespace
}  // namespace quillmote
