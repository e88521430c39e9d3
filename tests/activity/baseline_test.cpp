#include "core/activity/baseline.h"

#include <gtest/gtest.h>

#include <algorithm>

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
    for (int i = 0; i < usable + unusable; ++i) {
        MinuteRecord record;
        record.minute = start + std::chrono::minutes(i);
        record.observedSeconds = i < usable ? 45 : 44;
        record.around = i < usable ? around : 1000;
        minutes.push_back(record);
    }
}

// February 2024 in New York: the 5th, 12th, 19th and 26th are Mondays; the 24th is a Saturday.
const Instant mondayMorning = newYorkWinter(2024, 2, 26, 9, 30);

TEST(Baseline, TiersFromSameWeekdayToNearbyHours) {
    std::vector<MinuteRecord> minutes;
    addHour(minutes, newYorkWinter(2024, 2, 5, 9), 10);
    addHour(minutes, newYorkWinter(2024, 2, 12, 9), 14);
    addHour(minutes, newYorkWinter(2024, 2, 19, 9), 12);
    EXPECT_EQ(Baseline(minutes, mondayMorning, newYork).usual(mondayMorning), Usual::known(12, Basis::sameWeekday));

    // Two Mondays and a Tuesday: only the kind of day matches three times.
    minutes.clear();
    addHour(minutes, newYorkWinter(2024, 2, 12, 9), 10);
    addHour(minutes, newYorkWinter(2024, 2, 19, 9), 20);
    addHour(minutes, newYorkWinter(2024, 2, 20, 9), 30);
    Baseline twoMondays(minutes, mondayMorning, newYork);
    EXPECT_EQ(twoMondays.usual(mondayMorning), Usual::known(20, Basis::sameKindOfDay));
    // Later the same hour, and at its first and last minute, the answer is the same.
    EXPECT_EQ(twoMondays.usual(newYorkWinter(2024, 2, 26, 9, 59)), Usual::known(20, Basis::sameKindOfDay));
    EXPECT_EQ(twoMondays.usual(newYorkWinter(2024, 2, 26, 10)), Usual::known(20, Basis::nearbyHours));
    EXPECT_EQ(twoMondays.usual(newYorkWinter(2024, 2, 26, 11)), Usual::learning(0));

    // Only 08:00 hours, on three weekdays.
    minutes.clear();
    addHour(minutes, newYorkWinter(2024, 2, 20, 8), 5);
    addHour(minutes, newYorkWinter(2024, 2, 21, 8), 9);
    addHour(minutes, newYorkWinter(2024, 2, 22, 8), 7);
    Baseline earlier(minutes, mondayMorning, newYork);
    EXPECT_EQ(earlier.usual(mondayMorning), Usual::known(7, Basis::nearbyHours));
    EXPECT_EQ(earlier.usual(newYorkWinter(2024, 2, 26, 7, 30)), Usual::known(7, Basis::nearbyHours));
    EXPECT_EQ(earlier.usual(newYorkWinter(2024, 2, 26, 10, 30)), Usual::learning(0));
}

TEST(Baseline, NeighbouringHoursWrapAroundMidnight) {
    std::vector<MinuteRecord> minutes;
    addHour(minutes, newYorkWinter(2024, 2, 19, 23), 3);
    addHour(minutes, newYorkWinter(2024, 2, 20, 23), 4);
    addHour(minutes, newYorkWinter(2024, 2, 21, 23), 5);
    Instant today = newYorkWinter(2024, 2, 23, 12);
    Baseline late(minutes, today, newYork);
    EXPECT_EQ(late.usual(newYorkWinter(2024, 2, 23, 0, 30)), Usual::known(4, Basis::nearbyHours));
    EXPECT_EQ(late.usual(newYorkWinter(2024, 2, 23, 22, 30)), Usual::known(4, Basis::nearbyHours));
    EXPECT_EQ(late.usual(newYorkWinter(2024, 2, 23, 1, 30)), Usual::learning(0));

}

TEST(Baseline, WeekdaysAndWeekendsNeverMix) {
    std::vector<MinuteRecord> minutes;
    for (unsigned day = 1; day <= 23; ++day) {
        Instant nine = newYorkWinter(2024, 2, day, 9);
        if (!newYork.isWeekend(nine)) addHour(minutes, nine, 40);
    }
    Instant saturday = newYorkWinter(2024, 2, 24, 9, 30);
    Baseline weekdays(minutes, saturday, newYork);
    EXPECT_EQ(weekdays.usual(saturday), Usual::learning(0));
    EXPECT_EQ(weekdays.usual(newYorkWinter(2024, 2, 23, 9, 30)), Usual::known(40, Basis::sameWeekday));

    minutes.clear();
    addHour(minutes, newYorkWinter(2024, 2, 10, 9), 2);
    addHour(minutes, newYorkWinter(2024, 2, 11, 9), 4);
    addHour(minutes, newYorkWinter(2024, 2, 17, 9), 6);
    Baseline weekends(minutes, mondayMorning, newYork);
    EXPECT_EQ(weekends.usual(mondayMorning), Usual::learning(0));
    EXPECT_EQ(weekends.usual(newYorkWinter(2024, 2, 25, 9, 30)), Usual::known(4, Basis::sameKindOfDay));
}

TEST(Baseline, TheLocaleDecidesWhatAWeekendIs) {
    // Three Friday mornings: a workday in the United States, a weekend day in Israel.
    std::vector<MinuteRecord> minutes;
    for (unsigned day : {2u, 9u, 16u}) addHour(minutes, utc(2024, 2, day, 7), 25);
    Instant thursday = utc(2024, 2, 22, 7, 30);
    Instant saturday = utc(2024, 2, 24, 7, 30);

    Calendar american("Asia/Jerusalem", "en_US");
    EXPECT_EQ(Baseline(minutes, thursday, american).usual(thursday), Usual::known(25, Basis::sameKindOfDay));
    EXPECT_EQ(Baseline(minutes, saturday, american).usual(saturday), Usual::learning(0));

    Calendar israeli("Asia/Jerusalem", "he_IL");
    EXPECT_EQ(Baseline(minutes, thursday, israeli).usual(thursday), Usual::learning(0));
    EXPECT_EQ(Baseline(minutes, saturday, israeli).usual(saturday), Usual::known(25, Basis::sameKindOfDay));
}

TEST(Baseline, HoursNeedTwentyUsableMinutes) {
    std::vector<MinuteRecord> minutes;
    addHour(minutes, newYorkWinter(2024, 2, 5, 9), 10);
    addHour(minutes, newYorkWinter(2024, 2, 12, 9), 20);
    std::vector<MinuteRecord> nineteen = minutes;
    addHour(nineteen, newYorkWinter(2024, 2, 19, 9), 30, 19, 41);
    Baseline short_(nineteen, mondayMorning, newYork);
    EXPECT_EQ(short_.usual(mondayMorning), Usual::learning(2));
    EXPECT_EQ(short_.hours().size(), 2u);

    addHour(minutes, newYorkWinter(2024, 2, 19, 9), 30, 20, 40);
    Baseline enough(minutes, mondayMorning, newYork);
    EXPECT_EQ(enough.usual(mondayMorning), Usual::known(20, Basis::sameWeekday));

    // The unusable minutes of that hour never entered its mean.
    auto hours = enough.hours();
    auto last = std::find_if(hours.begin(), hours.end(),
                             [](const auto& h) { return h.day == newYorkWinter(2024, 2, 19); });
    ASSERT_NE(last, hours.end());
    EXPECT_EQ(last->mean, 30);
    EXPECT_EQ(last->hour, 9);
    EXPECT_EQ(last->weekday, 2);
    EXPECT_FALSE(last->isWeekend);
}

TEST(Baseline, OnlyTheTwentyEightDaysBeforeToday) {
    Instant today = newYorkWinter(2024, 2, 26, 10, 30);
    std::vector<MinuteRecord> base;
    addHour(base, newYorkWinter(2024, 2, 5, 9), 10);
    addHour(base, newYorkWinter(2024, 2, 12, 9), 20);

    // Today's own 09:00 hour is complete by 10:30 but never counts.
    auto withToday = base;
    addHour(withToday, newYorkWinter(2024, 2, 26, 9), 30, 60);
    EXPECT_EQ(Baseline(withToday, today, newYork).usual(newYorkWinter(2024, 2, 26, 9, 30)), Usual::learning(2));

    // 29 January is exactly 28 days before; 22 January is too far back.
    auto edge = base;
    addHour(edge, newYorkWinter(2024, 1, 29, 9), 30);
    EXPECT_EQ(Baseline(edge, today, newYork).usual(today - 1h), Usual::known(20, Basis::sameWeekday));
    auto tooOld = base;
    addHour(tooOld, newYorkWinter(2024, 1, 22, 9), 30);
    EXPECT_EQ(Baseline(tooOld, today, newYork).usual(today - 1h), Usual::learning(2));

    // 28 calendar days, not 28 × 24 hours: across the March clock change the window
    // begins at midnight EST on 25 February, and the Saturday 23:00 before it is out.
    std::vector<MinuteRecord> spring;
    addHour(spring, newYorkWinter(2024, 2, 24, 23), 8);
    addHour(spring, newYorkWinter(2024, 3, 2, 23), 8);
    addHour(spring, newYorkWinter(2024, 3, 9, 23), 8);
    Instant sundayNight = utc(2024, 3, 25, 3, 30);  // 23:30 EDT on Sunday 24 March
    EXPECT_EQ(Baseline(spring, sundayNight, newYork).usual(sundayNight), Usual::learning(2));
    Instant saturdayNight = utc(2024, 3, 24, 3, 30);  // 23:30 EDT on Saturday 23 March
    EXPECT_EQ(Baseline(spring, saturdayNight, newYork).usual(saturdayNight), Usual::known(8, Basis::sameWeekday));
}

TEST(Baseline, MedianAndDistinctDays) {
    EXPECT_EQ(Baseline::median({5}), 5);
    EXPECT_EQ(Baseline::median({9, 1, 5}), 5);
    EXPECT_EQ(Baseline::median({10, 4, 8, 6}), 7);
    EXPECT_EQ(Baseline::median({1e308, 1e308}), 1e308);

    std::vector<MinuteRecord> minutes;
    double level = 4;
    for (unsigned day : {29u, 5u, 12u, 19u}) {
        addHour(minutes, newYorkWinter(2024, day == 29 ? 1 : 2, day, 9), level);
        level += 2;
    }
    EXPECT_EQ(Baseline(minutes, mondayMorning, newYork).usual(mondayMorning), Usual::known(7, Basis::sameWeekday));

    // Three hours of one day and one of another are two days, not four.
    minutes.clear();
    addHour(minutes, newYorkWinter(2024, 2, 20, 8), 1);
    addHour(minutes, newYorkWinter(2024, 2, 20, 9), 1);
    addHour(minutes, newYorkWinter(2024, 2, 20, 10), 1);
    addHour(minutes, newYorkWinter(2024, 2, 21, 9), 1);
    Baseline twoDays(minutes, mondayMorning, newYork);
    EXPECT_EQ(twoDays.hours().size(), 4u);
    EXPECT_EQ(twoDays.usual(mondayMorning), Usual::learning(2));
    std::vector<const Baseline::HourOfDay*> all;
    for (const auto& hour : twoDays.hours()) all.push_back(&hour);
    EXPECT_EQ(Baseline::distinctDays(all), 2);
    EXPECT_EQ(Baseline::distinctDays({}), 0);
}

TEST(Baseline, RepeatedHourAndAnyOrder) {
    // 01:00–02:00 on 3 November happens twice in New York: two entries with hour 1.
    std::vector<MinuteRecord> minutes;
    addHour(minutes, utc(2024, 11, 3, 5), 10, 60);
    addHour(minutes, utc(2024, 11, 3, 6), 20, 60);
    Baseline fallBack(minutes, utc(2024, 11, 5, 12), newYork);
    auto hours = fallBack.hours();
    ASSERT_EQ(hours.size(), 2u);
    std::sort(hours.begin(), hours.end(), [](const auto& a, const auto& b) { return a.mean < b.mean; });
    for (const auto& hour : hours) {
        EXPECT_EQ(hour.hour, 1);
        EXPECT_EQ(hour.day, utc(2024, 11, 3, 4));
        EXPECT_EQ(hour.weekday, 1);
        EXPECT_TRUE(hour.isWeekend);
    }
    EXPECT_EQ(hours[0].mean, 10);
    EXPECT_EQ(hours[1].mean, 20);

    // Minutes in any order group the same; interleaved hours too.
    minutes.clear();
    for (unsigned day = 1; day <= 21; ++day) {
        for (int hour = 0; hour < 24; hour += 3) addHour(minutes, newYorkWinter(2024, 2, day, hour), day + hour, 25, 5);
    }
    Baseline sorted(minutes, mondayMorning, newYork);
    std::reverse(minutes.begin(), minutes.end());
    std::rotate(minutes.begin(), minutes.begin() + 7, minutes.end());
    Baseline shuffled(minutes, mondayMorning, newYork);
    auto means = [](const Baseline& baseline) {
        std::vector<double> values;
        for (const auto& hour : baseline.hours()) values.push_back(hour.mean);
        std::sort(values.begin(), values.end());
        return values;
    };
    EXPECT_EQ(sorted.hours().size(), 21u * 8u);
    EXPECT_EQ(means(sorted), means(shuffled));
    // 10:30 finds only the 09:00 hours of the fifteen weekdays, the middle one on the 12th.
    EXPECT_EQ(shuffled.usual(newYorkWinter(2024, 2, 26, 10, 30)), Usual::known(12 + 9, Basis::nearbyHours));
}

}  // namespace
}  // namespace quillmote
