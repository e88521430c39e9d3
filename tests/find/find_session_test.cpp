#include "core/find/find_session.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::at;
using Kind = FindSession::Status::Kind;
using Status = FindSession::Status;

// Nameless advertisements, as a phone that rotates its address sends them (the
// table never folds nameless rows, so rotations stay separate rows here).
Advertisement withService(std::string uuid) {
    Advertisement ad;
    ad.serviceUUIDs = {std::move(uuid)};
    return ad;
}

Sighting heard(std::string key, double seconds, std::optional<int> rssi = -60, std::string uuid = "FD6F") {
    return test::lowEnergy(std::move(key), seconds, rssi, withService(std::move(uuid)));
}

void hear(DeviceTable& table, std::vector<Sighting> sightings) { table.absorb(std::move(sightings)); }

Status plain(Kind kind) { return {kind, {}, {}}; }

TEST(ClickRate, GeometricBetweenSlowestAndFastest) {
    const std::pair<double, double> cases[] = {
        {-100, 0.5}, {-95, 0.5}, {-67.5, 0.5 * std::sqrt(40.0)}, {-40, 20}, {-30, 20}, {std::nan(""), 0.5}};
    for (auto [rssi, rate] : cases) EXPECT_NEAR(ClickRate::perSecond(rssi), rate, 1e-12) << rssi;
}

TEST(TrendTracker, ComparesWithTheNewestSampleAtLeastThreeSecondsOld) {
    auto after = [](double rssi, double seconds) {
        TrendTracker tracker;
        EXPECT_EQ(tracker.add(-70, at(0)), TrendDirection::steady);
        return tracker.add(rssi, at(seconds));
    };
    EXPECT_EQ(after(-66, 3.0), TrendDirection::warmer);
    EXPECT_EQ(after(-68, 3.0), TrendDirection::steady);
    EXPECT_EQ(after(-72, 3.0), TrendDirection::steady);  // exactly the dead band
    EXPECT_EQ(after(-72.5, 3.0), TrendDirection::colder);
    EXPECT_EQ(after(-60, 2.9), TrendDirection::steady);  // under three seconds of history
    EXPECT_EQ(after(-60, 4.0), TrendDirection::warmer);  // four seconds old still counts
    EXPECT_EQ(after(-60, 4.1), TrendDirection::steady);  // dropped: older than the look-back and a second

    TrendTracker tracker;
    tracker.add(-70, at(0));
    tracker.add(-60, at(1));
    EXPECT_EQ(tracker.add(-61, at(4)), TrendDirection::steady);
    EXPECT_EQ(tracker.add(-70, at(5)), TrendDirection::colder);  // against −60 at 1 s, not −70 at 0 s
    tracker.reset();
    EXPECT_EQ(tracker.add(-40, at(9)), TrendDirection::steady);
}

TEST(FindSession, FollowsItsRowThroughQuietAndLostUntilHeardAgain) {
    DeviceTable table;
    hear(table, {heard("A", 0, -70)});
    FindSession session(*table.record("A"));
    EXPECT_EQ(session.status(), plain(Kind::tracking));
    session.update(table, at(0));
    // The packet is from 1 s, the tick at 3 s: three seconds of history by the tick's clock.
    hear(table, {heard("A", 1, -50)});
    session.update(table, at(3));
    EXPECT_EQ(session.trend(), TrendDirection::warmer);

    session.update(table, at(4.0));
    EXPECT_EQ(session.status(), plain(Kind::tracking));
    session.update(table, at(4.1));
    EXPECT_EQ(session.status(), plain(Kind::searching));
    EXPECT_EQ(session.clicksPerSecond(), 0.0);
    EXPECT_EQ(session.trend(), TrendDirection::warmer) << "quiet ticks leave the trend";
    session.update(table, at(16.0));
    EXPECT_EQ(session.status(), plain(Kind::searching));
    session.update(table, at(16.1));
    EXPECT_EQ(session.status(), plain(Kind::lost));

    hear(table, {heard("A", 20, -50)});
    session.update(table, at(20.5));
    EXPECT_EQ(session.status(), plain(Kind::tracking));
    EXPECT_EQ(session.lastHeard(), at(20));
    EXPECT_NEAR(session.clicksPerSecond(), ClickRate::perSecond(-50), 1e-6);

    // A row that left the table counts as quiet at once; lost counts from when it was last heard.
    table.removeSilent(at(22), 1.0);
    session.update(table, at(22));
    EXPECT_EQ(session.status(), plain(Kind::searching));
    session.update(table, at(35.1));
    EXPECT_EQ(session.status(), plain(Kind::lost));
}

TEST(FindSession, RotationCandidatesMustAppearNearTheEndOfTheTargetAtASimilarLevel) {
    // The target is last heard at 10 s; a matching row shows up `firstSeen` s in
    // and is heard until `lastSeen`; the tick is at 13.5 s.
    auto session = [](double firstSeen, double lastSeen = 12, int rssi = -60, std::string uuid = "FD6F") {
        DeviceTable table;
        hear(table, {heard("A", 0)});
        FindSession found(*table.record("A"));
        hear(table, {heard("B", firstSeen, rssi, uuid), heard("A", 10)});
        found.update(table, at(10));
        hear(table, {heard("B", lastSeen, rssi, uuid)});
        found.update(table, at(13.5));
        return found;
    };
    const auto moved = Status::reacquired("A"), searching = plain(Kind::searching);
    EXPECT_EQ(session(7.5).status(), searching) << "appeared 2.5 s before the target's end";
    EXPECT_EQ(session(8.0).status(), moved);
    EXPECT_EQ(session(8.5, 10.4).status(), searching) << "the candidate is quiet itself";
    EXPECT_EQ(session(8.5, 10.5).status(), moved);
    EXPECT_EQ(session(8.5, 12, -70).status(), moved);
    EXPECT_EQ(session(8.5, 12, -50).status(), moved);
    EXPECT_EQ(session(8.5, 12, -71).status(), searching) << "11 dB apart";
    EXPECT_EQ(session(8.5, 12, -49).status(), searching);
    EXPECT_EQ(session(8.5, 12, -60, "FE2C").status(), searching) << "another fingerprint";

    // A target never heard with a level takes a match at any level.
    DeviceTable table;
    hear(table, {heard("A", 0, std::nullopt)});
    FindSession silent(*table.record("A"));
    EXPECT_EQ(silent.clicksPerSecond(), 0.0) << "tracking, but nothing to click at";
    hear(table, {heard("B", 1, -95)});
    silent.update(table, at(1));
    EXPECT_EQ(silent.status(), moved);
    EXPECT_EQ(silent.targetKey(), "B");
    EXPECT_EQ(silent.rssi(), std::optional<double>(-95));
}

TEST(FindSession, SeveralMatchesAskTheUserToChooseUntilOneRemains) {
    DeviceTable table;
    hear(table, {heard("A", 0)});
    FindSession session(*table.record("A"));
    // Code-point order: upper case before lower case, and both before non-ASCII.
    hear(table, {heard("tag-é", 1, -62), heard("tag-z", 1, -58), heard("tag-Z", 1, -61), heard("tag-y", 1, -75),
                 heard("tag-x", 1, -60, "FE2C")});
    session.update(table, at(3.5));
    EXPECT_EQ(session.status(), Status::ambiguous({"tag-Z", "tag-z", "tag-é"}));
    EXPECT_EQ(session.clicksPerSecond(), 0.0);

    // One left heard: it is taken.
    hear(table, {heard("tag-z", 4, -58)});
    session.update(table, at(4.5));
    EXPECT_EQ(session.status(), Status::reacquired("A"));
    EXPECT_EQ(session.targetKey(), "tag-z");
    EXPECT_EQ(session.lastHeard(), at(4));
    EXPECT_DOUBLE_EQ(session.clicksPerSecond(), ClickRate::perSecond(-58));

    // Reacquired stays while the new target is heard.
    session.update(table, at(4.5));
    hear(table, {heard("tag-z", 7.5, -40)});
    session.update(table, at(7.5));
    EXPECT_EQ(session.status(), Status::reacquired("A"));
    EXPECT_EQ(session.trend(), TrendDirection::warmer);

    // Quiet with nothing new around (the old target returning is no rotation of it), then heard: tracking.
    hear(table, {heard("A", 9)});
    session.update(table, at(11));
    EXPECT_EQ(session.status(), plain(Kind::searching));
    hear(table, {heard("tag-z", 11.5, -30)});
    session.update(table, at(11.5));
    EXPECT_EQ(session.status(), plain(Kind::tracking));
    EXPECT_EQ(session.trend(), TrendDirection::warmer);

    // The user's choice names the key followed before, and starts the trend afresh.
    session.choose(*table.record("tag-é"));
    EXPECT_EQ(session.status(), Status::reacquired("tag-z"));
    EXPECT_EQ(session.targetKey(), "tag-é");
    EXPECT_EQ(session.trend(), TrendDirection::steady);
}

TEST(FindSession, FollowsItsTargetWhenTheTableFoldsItOntoAnOlderRow) {
    Advertisement speaker = withService("FD6F");
    speaker.localName = "Kitchen speaker";
    DeviceTable table;
    std::vector<Sighting> old;
    for (double t = 0; t < 10; t += 0.25) old.push_back(test::lowEnergy("old", t, -60, speaker));
    hear(table, std::move(old));
    // The new address is a row of its own until the old one has been quiet long enough.
    table.absorb(std::vector{test::lowEnergy("new", 10.05, -60, speaker)}, at(10.1));
    FindSession session(*table.record("new"));
    table.absorb(std::vector{test::lowEnergy("new", 11.5, -58, speaker)}, at(11.5));
    ASSERT_FALSE(table.record("new"));
    session.update(table, at(11.5));
    EXPECT_EQ(session.targetKey(), "old");
    EXPECT_EQ(session.status(), plain(Kind::tracking));
}

}  // namespace
}  // namespace quillmote
