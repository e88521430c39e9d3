#include "core/activity/baseline.h"

#include <gtest/gtest.h>

#include "tests/activity/local_time.h"

namespace quillmote {
namespace {

using namespace std::chrono_literals;
using test::newYorkWinter;
using test::utc;
using Basis = Baseline::Basis;
using Usual = Baseline::Usual;

const Calendar newYork("America/New_York", "en_US");

// `usable` well-observed minutes from `start` with the given level, then `unusable`
// poorly observed ones with a level far off that must never count.
void addHour(std::vector<MinuteRecord>& minutes, Instant start, double around, int usable = 30, int unusable = 0) {
    for (int i = 0; i < usable + unusable; ++i)
        minutes.push_back({start + std::chrono::minutes(i), i < usable ? 45 : 44, i < usable ? around : 1000});
}

// The given hour (New York, February 2024) of each day, at that day's level.
std::vector<MinuteRecord> hoursOn(std::initializer_list<std::pair<unsigned, double>> days, int hour = 9) {
    std::vector<MinuteRecord> minutes;
    for (auto [day, level] : days) addHour(minutes, newYorkWinter(2024, 2, day, hour), level);
    return minutes;
}

// February 2024 in New York: the 5th, 12th, 19th and 26th are Mondays; the 24th is a Saturday.
const Instant mondayMorning = newYorkWinter(2024, 2, 26, 9, 30);

TEST(Baseline, TiersFromSameWeekdayToNearbyHours) {
    const auto mondays = hoursOn({{5, 10}, {12, 14}, {19, 12}});
    EXPECT_EQ(Baseline(mondays, mondayMorning, newYork).usual(mondayMorning), Usual::known(12, Basis::sameWeekday));

    // Two Mondays and a Tuesday: only the kind of day matches three times.
    Baseline twoMondays(hoursOn({{12, 10}, {19, 20}, {20, 30}}), mondayMorning, newYork);
    EXPECT_EQ(twoMondays.usual(mondayMorning), Usual::known(20, Basis::sameKindOfDay));

    // Only 08:00 hours, on three weekdays: the hour before and the hour after count.
    Baseline earlier(hoursOn({{20, 5}, {21, 9}, {22, 7}}, 8), mondayMorning, newYork);
    EXPECT_EQ(earlier.usual(mondayMorning), Usual::known(7, Basis::nearbyHours));
    EXPECT_EQ(earlier.usual(newYorkWinter(2024, 2, 26, 7, 30)), Usual::known(7, Basis::nearbyHours));

    // Neighbouring hours wrap around midnight.
    Baseline late(hoursOn({{19, 3}, {20, 4}, {21, 5}}, 23), newYorkWinter(2024, 2, 23, 12), newYork);
    EXPECT_EQ(late.usual(newYorkWinter(2024, 2, 23, 0, 30)), Usual::known(4, Basis::nearbyHours));
}

TEST(Baseline, WeekdaysAndWeekendsNeverMix) {
    const Instant saturday = newYorkWinter(2024, 2, 24, 9, 30);
    Baseline weekdays(hoursOn({{20, 40}, {21, 40}, {22, 40}}), saturday, newYork);
    EXPECT_EQ(weekdays.usual(saturday), Usual::learning(0));
    EXPECT_EQ(weekdays.usual(newYorkWinter(2024, 2, 23, 9, 30)), Usual::known(40, Basis::sameKindOfDay));
}

// The usual level at 09:30 on Monday 26 February, asked at 10:30, from the 09:00 hours of
// Mondays 5 February (10) and 12 February (20) and a third hour.
Usual usualWithThird(Instant third, double level, int usable = 30, int unusable = 0) {
    auto minutes = hoursOn({{5, 10}, {12, 20}});
    addHour(minutes, third, level, usable, unusable);
    return Baseline(minutes, newYorkWinter(2024, 2, 26, 10, 30), newYork).usual(mondayMorning);
}

TEST(Baseline, HoursNeedTwentyUsableMinutes) {
    EXPECT_EQ(usualWithThird(newYorkWinter(2024, 2, 19, 9), 5, 19, 41), Usual::learning(2));
    // The unusable minutes never enter an hour's mean.
    EXPECT_EQ(usualWithThird(newYorkWinter(2024, 2, 19, 9), 5, 20, 40), Usual::known(10, Basis::sameWeekday));
}

TEST(Baseline, OnlyTheTwentyEightDaysBeforeToday) {
    // Today's own 09:00 hour is complete by 10:30 but never counts.
    EXPECT_EQ(usualWithThird(newYorkWinter(2024, 2, 26, 9), 30, 60), Usual::learning(2));
    // 29 January is exactly 28 days before; 22 January is too far back.
    EXPECT_EQ(usualWithThird(newYorkWinter(2024, 1, 29, 9), 30), Usual::known(20, Basis::sameWeekday));
    EXPECT_EQ(usualWithThird(newYorkWinter(2024, 1, 22, 9), 30), Usual::learning(2));

    // 28 calendar days, not 28 × 24 hours: across the March clock change the window
    // begins at midnight EST on 25 February, and the Saturday 23:00 before it is out.
    std::vector<MinuteRecord> spring = hoursOn({{24, 8}}, 23);
    addHour(spring, newYorkWinter(2024, 3, 2, 23), 8);
    addHour(spring, newYorkWinter(2024, 3, 9, 23), 8);
    Instant sundayNight = utc(2024, 3, 25, 3, 30);  // 23:30 EDT on Sunday 24 March
    EXPECT_EQ(Baseline(spring, sundayNight, newYork).usual(sundayNight), Usual::learning(2));
    Instant saturdayNight = utc(2024, 3, 24, 3, 30);  // 23:30 EDT on Saturday 23 March
    EXPECT_EQ(Baseline(spring, saturdayNight, newYork).usual(saturdayNight), Usual::known(8, Basis::sameWeekday));
}

TEST(Baseline, MedianOfDistinctDays) {
    EXPECT_EQ(Baseline::median({9, 1, 5}), 5);
    EXPECT_EQ(Baseline::median({10, 4, 8, 6}), 7);
    EXPECT_EQ(Baseline::median({1e308, 1e308}), 1e308);  // no overflow on the way

    // Three hours of one day and one of another are two days, not four.
    std::vector<MinuteRecord> minutes = hoursOn({{20, 1}, {21, 1}});
    addHour(minutes, newYorkWinter(2024, 2, 20, 8), 1);
    addHour(minutes, newYorkWinter(2024, 2, 20, 10), 1);
    EXPECT_EQ(Baseline(minutes, mondayMorning, newYork).usual(mondayMorning), Usual::learning(2));
}

}  // namespace
}  // namespace quillmote
