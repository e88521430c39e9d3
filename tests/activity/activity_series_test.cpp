#include "core/activity/activity_series.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/activity/local_time.h"

namespace quillmote {
namespace {

using test::newYorkWinter;
using test::utc;

const Calendar newYork("America/New_York", "en_US");

MinuteRecord minute(Instant at, double around, std::int64_t observed = 60, std::int64_t passing = 0) {
    return MinuteRecord{at, observed, around, passing, 0, 0, 0};
}

// The level of each bucket that has one, by position.
std::map<std::size_t, double> levels(const std::vector<ActivityBucket>& buckets) {
    std::map<std::size_t, double> out;
    for (std::size_t i = 0; i < buckets.size(); ++i)
        if (buckets[i].around) out[i] = *buckets[i].around;
    return out;
}

TEST(ActivitySeries, HourlyOnAnOrdinaryDay) {
    std::vector<MinuteRecord> minutes;
    // 09:00: 30 usable minutes averaging 12, and 5 unusable ones with far-off levels.
    for (int i = 0; i < 30; ++i) minutes.push_back(minute(newYorkWinter(2024, 2, 20, 9, i), i % 2 ? 14 : 10, 45, 2));
    for (int i = 30; i < 35; ++i) minutes.push_back(minute(newYorkWinter(2024, 2, 20, 9, i), 99, 44, 1));
    // 10:00: only unusable minutes, still with events.
    for (int i = 0; i < 3; ++i) minutes.push_back(MinuteRecord{newYorkWinter(2024, 2, 20, 10, i), 10, 50, 0, 2, 1, 4});

    auto hours = ActivitySeries::hourly(minutes, newYorkWinter(2024, 2, 20, 15), newYork);
    ASSERT_EQ(hours.size(), 24u);
    EXPECT_EQ(hours[9], (ActivityBucket{newYorkWinter(2024, 2, 20, 9), 12.0, 14.0, 30 * 2 + 5, 0, 0, 0, 30}));
    EXPECT_EQ(hours[10], (ActivityBucket{newYorkWinter(2024, 2, 20, 10), std::nullopt, std::nullopt, 0, 6, 3, 12, 0}));
    EXPECT_EQ(hours[11], (ActivityBucket{newYorkWinter(2024, 2, 20, 11), {}, {}, 0, 0, 0, 0, 0}));
}

TEST(ActivitySeries, HourlyAcrossClockChanges) {
    // 10 March 2024 in New York has 23 hours: 24 elapsed hours reach the next midnight.
    std::vector<MinuteRecord> minutes{minute(utc(2024, 3, 10, 7, 30), 5), minute(utc(2024, 3, 11, 4, 30), 6)};
    auto spring = ActivitySeries::hourly(minutes, utc(2024, 3, 10, 15), newYork);
    ASSERT_EQ(spring.size(), 24u);
    for (int h = 0; h < 24; ++h) EXPECT_EQ(spring[h].start, utc(2024, 3, 10, 5) + std::chrono::hours(h)) << h;
    EXPECT_EQ(levels(spring), (std::map<std::size_t, double>{{2, 5}, {23, 6}}));  // 03:30 EDT is in the third hour

    // 3 November has 25 hours: both 01:00 hours are there, the last hour is not.
    minutes = {minute(utc(2024, 11, 3, 5, 30), 1), minute(utc(2024, 11, 3, 6, 30), 2),
               minute(utc(2024, 11, 4, 4, 30), 3)};
    auto autumn = ActivitySeries::hourly(minutes, utc(2024, 11, 3, 15), newYork);
    ASSERT_EQ(autumn.size(), 24u);
    EXPECT_EQ(autumn.front().start, utc(2024, 11, 3, 4));
    EXPECT_EQ(autumn.back().start, utc(2024, 11, 4, 3));
    EXPECT_EQ(levels(autumn), (std::map<std::size_t, double>{{1, 1}, {2, 2}}));
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
    EXPECT_EQ(days[20].start, utc(2024, 3, 11, 4));
    EXPECT_EQ(days.back(), (ActivityBucket{utc(2024, 3, 20, 4), std::nullopt, std::nullopt, 9, 0, 0, 0, 0}));
    EXPECT_EQ(levels(days), (std::map<std::size_t, double>{{0, 2}, {19, 3}, {20, 4}}));

    EXPECT_TRUE(ActivitySeries::daily(minutes, 0, today, newYork).empty());
    EXPECT_EQ(ActivitySeries::daily(minutes, 1, today, newYork), std::vector{days.back()});
}

using Label = std::pair<std::string, std::optional<std::string>>;

Label label(Instant t, const Calendar& calendar) {
    DayAxisLabel label(t, calendar);
    return {label.letter, label.date};
}

TEST(DayAxisLabel, LettersAndMondayDatesOfTheLocalDay) {
    EXPECT_EQ(label(newYorkWinter(2025, 3, 4, 12), newYork), (Label{"T", std::nullopt}));
    // Monday evening in New York is Tuesday in UTC.
    EXPECT_EQ(label(utc(2025, 3, 4, 3), newYork), (Label{"M", "3 Mar"}));
    EXPECT_EQ(label(utc(2025, 3, 4, 3), Calendar("UTC", "en_US")), (Label{"T", std::nullopt}));
    EXPECT_EQ(label(utc(2026, 1, 5, 12), Calendar("UTC", "en_US")), (Label{"M", "5 Jan"}));  // the table's first month
    // Elul, the thirteenth month of the Hebrew calendar, takes the last entry of the
    // table. Monday 9 September 2024 is 6 Elul 5784.
    EXPECT_EQ(label(utc(2024, 9, 9, 9), Calendar("Asia/Jerusalem", "he_IL@calendar=hebrew")), (Label{"M", "6 Dec"}));
}

}  // namespace
}  // namespace quillmote
