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
// A day heard for exactly the minute that counts; when it began does not matter.
const NamedPresence::Day aMinute{today, 60};

void hear(NamedPresence& presence, const std::string& name, Instant from, int samples) {
    for (int i = 0; i < samples; ++i) presence.heard({name}, from + std::chrono::seconds(i), newYork);
}

TEST(NamedPresence, HeardPerLocalDay) {
    NamedPresence presence;
    // Across local midnight; the 15th in UTC throughout.
    hear(presence, "Watch", summer(3, 14, 23, 59) + 30s, 60);
    presence.heard({"Watch", "Phone"}, summer(3, 15, 9), newYork);
    NamedPresence expected;
    expected.days["Watch"] = {{"2026-03-14", {summer(3, 14, 23, 59) + 30s, 30}},
                              {"2026-03-15", {summer(3, 15, 0), 31}}};
    expected.days["Phone"]["2026-03-15"] = {summer(3, 15, 9), 1};
    EXPECT_EQ(presence, expected);
}

TEST(NamedPresence, UnfamiliarNeedsAMinuteToday) {
    NamedPresence presence;
    hear(presence, "Speaker", today, 59);
    EXPECT_TRUE(presence.unfamiliar(today + 1min, newYork).empty());
    hear(presence, "Speaker", today + 2min, 1);
    EXPECT_EQ(presence.unfamiliar(today + 3min, newYork), (std::vector<UnfamiliarDevice>{{"Speaker", today, 60, 0}}));

    // Listed in the order first heard today, then by name.
    hear(presence, "Aardvark", today, 70);
    hear(presence, "Zebra", today - 5min, 60);
    EXPECT_EQ(presence.unfamiliar(today + 10min, newYork),
              (std::vector<UnfamiliarDevice>{{"Zebra", today - 5min, 60, 0}, {"Aardvark", today, 70, 0},
                                             {"Speaker", today, 60, 0}}));

    // Tomorrow nobody has been heard yet.
    EXPECT_TRUE(presence.unfamiliar(summer(3, 15, 9), newYork).empty());
}

TEST(NamedPresence, RegularsAreHeardForAMinuteOnThreePastDays) {
    NamedPresence presence;
    hear(presence, "Laptop", today, 120);
    hear(presence, "Car", today, 120);
    EXPECT_TRUE(presence.isLearning(today, newYork));

    // Laptop on three of the 28 days before, the first of them 28 days back; Car on two. A
    // 59-second day counts as recorded history but not as a day the name was heard; 29
    // days back, or after today, is no past day.
    presence.days["Laptop"].insert({{"2026-03-13", aMinute}, {"2026-03-01", aMinute}, {"2026-02-14", aMinute}});
    presence.days["Car"].insert({{"2026-03-13", aMinute}, {"2026-03-12", aMinute}, {"2026-03-11", {today, 59}}});
    presence.days["Car"].insert({{"2026-02-13", aMinute}, {"2026-03-20", aMinute}});
    presence.days["Bike"]["2026-03-10"] = {today, 1};

    EXPECT_EQ(presence.pastDaysRecorded(today, newYork), 6);
    EXPECT_FALSE(presence.isLearning(today, newYork));
    EXPECT_TRUE(presence.isRegular("Laptop", today, newYork));
    EXPECT_FALSE(presence.isRegular("Car", today, newYork));
    EXPECT_EQ(presence.unfamiliar(today + 5min, newYork), (std::vector<UnfamiliarDevice>{{"Car", today, 120, 2}}));

    // Seen from the 13th, the 13th itself is today rather than a past day.
    EXPECT_FALSE(presence.isRegular("Laptop", summer(3, 13, 20), newYork));
    EXPECT_EQ(presence.pastDaysRecorded(summer(3, 13, 20), newYork), 6);  // now 13 February is inside
}

TEST(NamedPresence, PruningKeepsTheLocalDaysOfTheRetentionPeriod) {
    NamedPresence presence;
    presence.days["Old"] = {{"2025-12-13", aMinute}, {"2025-11-01", aMinute}};
    presence.days["Kept"] = {{"2025-12-13", aMinute}, {"2025-12-14", aMinute}, {"2026-03-14", {today, 5}}};
    const NamedPresence before = presence;

    presence.pruneOlderThan(90, summer(3, 14, 0, 30), newYork);  // the 14th in New York and in UTC
    NamedPresence expected = before;
    expected.days.erase("Old");
    expected.days["Kept"].erase("2025-12-13");
    EXPECT_EQ(presence, expected);
}

}  // namespace
}  // namespace quillmote
