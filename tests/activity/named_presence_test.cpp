#include "core/activity/named_presence.h"

#include <gtest/gtest.h>

#include "tests/activity/local_time.h"

namespace quillmote {
namespace {

using namespace std::chrono_literals;
using test::utc;

const Calendar newYork("America/New_York", "en_US");

// New York in daylight saving time (UTC−4), as it is from 8 March 2026.
Instant summer(unsigned month, unsigned day, int hour, int minute = 0) {
    return utc(2026, month, day, hour, minute) + 4h;
}

// Saturday 14 March 2026, mid-afternoon in New York.
const Instant today = summer(3, 14, 15);

void hear(NamedPresence& presence, const std::string& name, Instant from, int samples) {
    for (int i = 0; i < samples; ++i) presence.heard({name}, from + std::chrono::seconds(i), newYork);
}

TEST(NamedPresence, HeardPerLocalDay) {
    NamedPresence presence;
    presence.heard({"Watch", "Phone"}, summer(3, 14, 23, 59), newYork);
    presence.heard({"Watch"}, summer(3, 14, 23, 59) + 1s, newYork);
    presence.heard({}, summer(3, 14, 23, 59) + 2s, newYork);
    // 23:59 in New York is already the 15th in UTC; the key is the local date.
    ASSERT_EQ(presence.days.size(), 2u);
    EXPECT_EQ(presence.days["Watch"]["2026-03-14"], (NamedPresence::Day{summer(3, 14, 23, 59), 2}));
    EXPECT_EQ(presence.days["Phone"]["2026-03-14"], (NamedPresence::Day{summer(3, 14, 23, 59), 1}));

    // After local midnight: a new day with a fresh first time.
    presence.heard({"Watch"}, summer(3, 15, 0, 0) + 30s, newYork);
    EXPECT_EQ(presence.days["Watch"].size(), 2u);
    EXPECT_EQ(presence.days["Watch"]["2026-03-15"], (NamedPresence::Day{summer(3, 15, 0, 0) + 30s, 1}));
    EXPECT_EQ(presence.days["Watch"]["2026-03-14"].seconds, 2);

    EXPECT_EQ(NamedPresence::dayKey(utc(2026, 3, 15, 3, 59), newYork), "2026-03-14");
    EXPECT_EQ(NamedPresence::dayKey(utc(2026, 3, 15, 3, 59), Calendar("Asia/Tokyo", "ja_JP")), "2026-03-15");
}

TEST(NamedPresence, UnfamiliarNeedsAMinuteToday) {
    NamedPresence presence;
    hear(presence, "Speaker", today, 59);
    EXPECT_TRUE(presence.unfamiliar(today + 1min, newYork).empty());
    hear(presence, "Speaker", today + 2min, 1);
    auto unfamiliar = presence.unfamiliar(today + 3min, newYork);
    EXPECT_EQ(unfamiliar, (std::vector<UnfamiliarDevice>{{"Speaker", today, 60, 0}}));

    // Listed in the order first heard today, not by name.
    hear(presence, "Aardvark", today + 5min, 70);
    hear(presence, "Zebra", today - 5min, 60);
    unfamiliar = presence.unfamiliar(today + 10min, newYork);
    ASSERT_EQ(unfamiliar.size(), 3u);
    EXPECT_EQ(unfamiliar[0].name, "Zebra");
    EXPECT_EQ(unfamiliar[1].name, "Speaker");
    EXPECT_EQ(unfamiliar[2].name, "Aardvark");
    EXPECT_EQ(unfamiliar[2].secondsToday, 70);

    // Tomorrow nobody has been heard yet.
    EXPECT_TRUE(presence.unfamiliar(summer(3, 15, 9), newYork).empty());
}

TEST(NamedPresence, RegularsAndLearning) {
    NamedPresence presence;
    hear(presence, "Laptop", today, 120);
    hear(presence, "Car", today, 120);
    EXPECT_EQ(presence.pastDaysRecorded(today, newYork), 0);
    EXPECT_TRUE(presence.isLearning(today, newYork));

    // Laptop on three earlier days, Car on two; a 59-second day counts as recorded
    // history but not as a day the name was heard.
    presence.days["Laptop"]["2026-03-13"] = {summer(3, 13, 9), 600};
    presence.days["Laptop"]["2026-03-01"] = {utc(2026, 3, 1, 14), 60};
    presence.days["Laptop"]["2026-02-14"] = {utc(2026, 2, 14, 14), 3600};
    presence.days["Car"]["2026-03-13"] = {summer(3, 13, 9), 60};
    presence.days["Car"]["2026-03-12"] = {summer(3, 12, 9), 60};
    presence.days["Car"]["2026-03-11"] = {summer(3, 11, 9), 59};
    presence.days["Bike"]["2026-03-10"] = {summer(3, 10, 9), 1};

    EXPECT_EQ(presence.pastDaysRecorded(today, newYork), 6);
    EXPECT_FALSE(presence.isLearning(today, newYork));
    EXPECT_TRUE(presence.isRegular("Laptop", today, newYork));
    EXPECT_FALSE(presence.isRegular("Car", today, newYork));
    EXPECT_FALSE(presence.isRegular("Bike", today, newYork));
    EXPECT_FALSE(presence.isRegular("Never heard", today, newYork));
    EXPECT_EQ(presence.unfamiliar(today + 5min, newYork), (std::vector<UnfamiliarDevice>{{"Car", today, 120, 2}}));

    // Seen from the 13th, the 13th itself is today rather than a past day.
    EXPECT_FALSE(presence.isRegular("Laptop", summer(3, 13, 20), newYork));
    EXPECT_EQ(presence.pastDaysRecorded(summer(3, 13, 20), newYork), 5);
}

TEST(NamedPresence, TwentyEightDaysBack) {
    NamedPresence presence;
    // 14 February is 28 days before 14 March; 13 February is 29.
    presence.days["Kettle"]["2026-02-13"] = {utc(2026, 2, 13, 14), 600};
    presence.days["Kettle"]["2026-02-20"] = {utc(2026, 2, 20, 14), 600};
    presence.days["Kettle"]["2026-03-06"] = {utc(2026, 3, 6, 14), 600};
    EXPECT_EQ(presence.pastDaysRecorded(today, newYork), 2);
    EXPECT_FALSE(presence.isRegular("Kettle", today, newYork));
    presence.days["Kettle"]["2026-02-14"] = {utc(2026, 2, 14, 14), 600};
    EXPECT_EQ(presence.pastDaysRecorded(today, newYork), 3);
    EXPECT_TRUE(presence.isRegular("Kettle", today, newYork));
    // A day after today is not a past day either.
    presence.days["Clock"]["2026-03-20"] = {summer(3, 20, 9), 600};
    EXPECT_EQ(presence.pastDaysRecorded(today, newYork), 3);

    presence.pruneOlderThan(90, today, newYork);
    EXPECT_EQ(presence.days["Kettle"].size(), 4u) << "the 29-day-old entry is still stored";
}

TEST(NamedPresence, Pruning) {
    NamedPresence presence;
    presence.days["Old"]["2025-12-13"] = {utc(2025, 12, 13, 14), 600};
    presence.days["Old"]["2025-11-01"] = {utc(2025, 11, 1, 14), 600};
    presence.days["Kept"]["2025-12-13"] = {utc(2025, 12, 13, 14), 600};
    presence.days["Kept"]["2025-12-14"] = {utc(2025, 12, 14, 14), 600};
    presence.days["Kept"]["2026-03-14"] = {today, 5};
    NamedPresence before = presence;

    // Early on the 14th in New York, while UTC is also the 14th.
    presence.pruneOlderThan(90, summer(3, 14, 0, 30), newYork);
    EXPECT_EQ(presence.days.count("Old"), 0u);
    ASSERT_EQ(presence.days.count("Kept"), 1u);
    EXPECT_EQ(presence.days["Kept"].size(), 2u);
    EXPECT_EQ(presence.days["Kept"].count("2025-12-14"), 1u);

    // Late on the 13th locally is the 14th in UTC: the local date decides.
    NamedPresence lateEvening = before;
    lateEvening.pruneOlderThan(90, summer(3, 13, 23), newYork);
    EXPECT_EQ(lateEvening.days["Kept"].count("2025-12-13"), 1u);
    EXPECT_EQ(lateEvening.days.count("Old"), 1u);
    EXPECT_EQ(lateEvening.days["Old"].size(), 1u);

    NamedPresence everything = before;
    everything.pruneOlderThan(1000, today, newYork);
    EXPECT_EQ(everything, before);
}

}  // namespace
}  // namespace quillmote
