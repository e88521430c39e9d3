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

// Nameless advertisements, as a phone that rotates its address sends them (the
// table never folds nameless rows, so rotations stay separate rows here).
Advertisement tag() {
    Advertisement ad;
    ad.serviceUUIDs = {"FD6F"};
    return ad;
}

Advertisement otherTag() {
    Advertisement ad;
    ad.serviceUUIDs = {"FE2C"};
    return ad;
}

Sighting heard(std::string key, double seconds, std::optional<int> rssi = -60, Advertisement ad = tag()) {
    return test::lowEnergy(std::move(key), seconds, rssi, std::move(ad));
}

void hear(DeviceTable& table, std::vector<Sighting> sightings) { table.absorb(std::move(sightings)); }

FindSession::Status plain(Kind kind) { return {kind, {}, {}}; }

TEST(ClickRate, FollowsTheSignalBetweenSlowestAndFastest) {
    EXPECT_DOUBLE_EQ(ClickRate::perSecond(-100), 0.5);
    EXPECT_DOUBLE_EQ(ClickRate::perSecond(-95), 0.5);
    EXPECT_DOUBLE_EQ(ClickRate::perSecond(-40), 20.0);
    EXPECT_DOUBLE_EQ(ClickRate::perSecond(-30), 20.0);
    EXPECT_NEAR(ClickRate::perSecond(-67.5), 0.5 * std::sqrt(40.0), 1e-12);
    // Every 5.5 dB multiplies the rate by the tenth root of 40.
    for (double rssi = -95; rssi < -40; rssi += 5.5)
        EXPECT_NEAR(ClickRate::perSecond(rssi + 5.5) / ClickRate::perSecond(rssi), std::pow(40.0, 0.1), 1e-12) << rssi;
    EXPECT_DOUBLE_EQ(ClickRate::perSecond(std::nan("")), ClickRate::slowest);
}

TEST(TrendTracker, ComparesWithTheSignalAboutThreeSecondsAgo) {
    TrendTracker first;
    EXPECT_EQ(first.add(-70, at(0)), TrendDirection::steady);

    auto after = [](double rssi, double seconds) {
        TrendTracker tracker;
        tracker.add(-70, at(0));
        return tracker.add(rssi, at(seconds));
    };
    EXPECT_EQ(after(-66, 3.0), TrendDirection::warmer);
    EXPECT_EQ(after(-68, 3.0), TrendDirection::steady);
    EXPECT_EQ(after(-72, 3.0), TrendDirection::steady);  // exactly the dead band
    EXPECT_EQ(after(-72.5, 3.0), TrendDirection::colder);
    EXPECT_EQ(after(-60, 2.9), TrendDirection::steady);  // under three seconds of history
    EXPECT_EQ(after(-60, 4.0), TrendDirection::warmer);  // four seconds old still counts
    EXPECT_EQ(after(-60, 4.1), TrendDirection::steady);  // dropped: older than the look-back and a second

    // The newest sample at least three seconds old is the reference, not the oldest.
    TrendTracker tracker;
    tracker.add(-70, at(0));
    tracker.add(-60, at(1));
    EXPECT_EQ(tracker.add(-61, at(4)), TrendDirection::steady);
    EXPECT_EQ(tracker.add(-70, at(5)), TrendDirection::colder);  // against −60 at 1 s
    EXPECT_EQ(tracker.samples, (std::vector<TrendTracker::Sample>{{at(1), -60}, {at(4), -61}, {at(5), -70}}));
    tracker.reset();
    EXPECT_TRUE(tracker.samples.empty());
    EXPECT_EQ(tracker.add(-40, at(9)), TrendDirection::steady);

    TrendTracker quick{.lookBack = 1.0, .deadBand = 0.5, .samples = {}};
    quick.add(-70, at(0));
    EXPECT_EQ(quick.add(-69.4, at(1)), TrendDirection::warmer);
    EXPECT_EQ(quick.add(-69, at(2.1)), TrendDirection::steady) << "against −69.4 at 1 s; the one at 0 s is gone";
    EXPECT_EQ(quick.samples.size(), 2u);

    EXPECT_EQ(rawValue(TrendDirection::warmer), "Warmer");
    EXPECT_EQ(rawValue(TrendDirection::colder), "Colder");
    EXPECT_EQ(rawValue(TrendDirection::steady), "Steady");
}

TEST(FindSession, StartsFromTheSelectedRow) {
    DeviceTable table;
    hear(table, {heard("A", 0, -70), heard("A", 0.5, -70)});
    const DeviceRecord& row = *table.record("A");
    FindSession session(row);
    EXPECT_EQ(session.targetKey(), "A");
    EXPECT_EQ(session.fingerprint(), Fingerprint(row));
    EXPECT_EQ(session.status(), plain(Kind::tracking));
    EXPECT_EQ(session.rssi(), std::optional<double>(-70));
    EXPECT_EQ(session.lastHeard(), at(0.5));
    EXPECT_EQ(session.trend(), TrendDirection::steady);
    EXPECT_TRUE(session.isHearingTarget());
    EXPECT_DOUBLE_EQ(session.clicksPerSecond(), ClickRate::perSecond(-70));

    EXPECT_EQ(name(Kind::searching), "searching");
    EXPECT_EQ(name(Kind::tracking), "tracking");
    EXPECT_EQ(name(Kind::lost), "lost");
    EXPECT_EQ(name(Kind::reacquired), "reacquired");
    EXPECT_EQ(name(Kind::ambiguous), "ambiguous");
}

TEST(FindSession, QuietTargetIsSearchedForThenLostThenTrackedAgain) {
    DeviceTable table;
    hear(table, {heard("A", 0)});
    FindSession session(*table.record("A"));

    session.update(table, at(2.9));
    EXPECT_EQ(session.status(), plain(Kind::tracking));
    session.update(table, at(3.0));
    EXPECT_EQ(session.status(), plain(Kind::tracking));
    session.update(table, at(3.1));
    EXPECT_EQ(session.status(), plain(Kind::searching));
    EXPECT_FALSE(session.isHearingTarget());
    EXPECT_EQ(session.rssi(), std::optional<double>(-60)) << "kept while quiet";
    EXPECT_EQ(session.clicksPerSecond(), 0.0);
    session.update(table, at(15.0));
    EXPECT_EQ(session.status(), plain(Kind::searching));
    session.update(table, at(15.1));
    EXPECT_EQ(session.status(), plain(Kind::lost));
    EXPECT_EQ(session.clicksPerSecond(), 0.0);

    hear(table, {heard("A", 20, -50)});
    session.update(table, at(20.5));
    EXPECT_EQ(session.status(), plain(Kind::tracking));
    ASSERT_TRUE(session.rssi());
    EXPECT_NEAR(*session.rssi(), -50, 1e-6);
    EXPECT_EQ(session.lastHeard(), at(20));
    EXPECT_NEAR(session.clicksPerSecond(), ClickRate::perSecond(-50), 1e-6);

    // A row that left the table counts as quiet at once.
    table.removeSilent(at(22), 1.0);
    ASSERT_FALSE(table.record("A"));
    session.update(table, at(22));
    EXPECT_EQ(session.status(), plain(Kind::searching));
    session.update(table, at(35.1));
    EXPECT_EQ(session.status(), plain(Kind::lost)) << "counted from when it was last heard";
}

TEST(FindSession, TargetWithoutSignalIsNeverHeard) {
    DeviceTable table;
    hear(table, {heard("A", 0, std::nullopt)});
    FindSession session(*table.record("A"));
    EXPECT_FALSE(session.rssi());
    EXPECT_EQ(session.clicksPerSecond(), 0.0) << "tracking, but nothing to click at";
    session.update(table, at(0.5));
    EXPECT_EQ(session.status(), plain(Kind::searching));

    // Without a level of its own, the session takes a match at any level.
    hear(table, {heard("B", 1, -95)});
    session.update(table, at(1));
    EXPECT_EQ(session.status(), FindSession::Status::reacquired("A"));
    EXPECT_EQ(session.targetKey(), "B");
    EXPECT_EQ(session.rssi(), std::optional<double>(-95));
}

TEST(FindSession, TrendFollowsTheTicksWhileHeard) {
    DeviceTable table;
    hear(table, {heard("A", 0, -70)});
    FindSession session(*table.record("A"));
    session.update(table, at(0));
    EXPECT_EQ(session.trend(), TrendDirection::steady);
    // The packet is from 1 s, the tick at 3 s: three seconds of history by the tick's clock.
    hear(table, {heard("A", 1, -50)});
    session.update(table, at(3));
    EXPECT_EQ(session.trend(), TrendDirection::warmer);
    EXPECT_EQ(session.lastHeard(), at(1));
    ASSERT_TRUE(session.rssi());
    EXPECT_GT(*session.rssi(), -70);
    EXPECT_LT(*session.rssi(), -50);

    // Quiet ticks leave the trend as it was.
    session.update(table, at(4.5));
    EXPECT_EQ(session.status(), plain(Kind::searching));
    EXPECT_EQ(session.trend(), TrendDirection::warmer);
}

TEST(FindSession, RotationCandidatesMustAppearNearTheEndOfTheTarget) {
    // The target is last heard at 10 s; a matching row shows up `firstSeen` s in
    // and is heard until 12 s; the tick is at 13.5 s.
    auto session = [](double firstSeen, double lastSeen = 12, int rssi = -60, Advertisement ad = tag()) {
        DeviceTable table;
        hear(table, {heard("A", 0)});
        FindSession found(*table.record("A"));
        hear(table, {heard("B", firstSeen, rssi, ad), heard("A", 10)});
        found.update(table, at(10));
        hear(table, {heard("B", lastSeen, rssi, ad)});
        found.update(table, at(13.5));
        return found;
    };

    EXPECT_EQ(session(7.5).status(), plain(Kind::searching)) << "appeared 2.5 s before the target's end";
    EXPECT_EQ(session(8.0).status(), FindSession::Status::reacquired("A"));
    auto moved = session(8.5);
    EXPECT_EQ(moved.status(), FindSession::Status::reacquired("A"));
    EXPECT_EQ(moved.targetKey(), "B");
    EXPECT_EQ(moved.lastHeard(), at(12));
    EXPECT_EQ(moved.trend(), TrendDirection::steady);
    EXPECT_TRUE(moved.isHearingTarget());
    EXPECT_EQ(moved.fingerprint(), Fingerprint(tag())) << "the fingerprint stays";

    EXPECT_EQ(session(8.5, 10.4).status(), plain(Kind::searching)) << "the candidate is quiet itself";
    EXPECT_EQ(session(8.5, 10.5).status(), FindSession::Status::reacquired("A"));

    EXPECT_EQ(session(8.5, 12, -70).status(), FindSession::Status::reacquired("A"));
    EXPECT_EQ(session(8.5, 12, -50).status(), FindSession::Status::reacquired("A"));
    EXPECT_EQ(session(8.5, 12, -71).status(), plain(Kind::searching)) << "11 dB apart";
    EXPECT_EQ(session(8.5, 12, -49).status(), plain(Kind::searching));
    EXPECT_EQ(session(8.5, 12, -60, otherTag()).status(), plain(Kind::searching)) << "another fingerprint";
}

TEST(FindSession, SeveralMatchesAskTheUserToChoose) {
    DeviceTable table;
    hear(table, {heard("A", 0)});
    FindSession session(*table.record("A"));
    session.update(table, at(0));
    // Code-point order: upper case before lower case, and both before non-ASCII.
    hear(table, {heard("tag-é", 1, -62), heard("tag-z", 1, -58), heard("tag-Z", 1, -61), heard("tag-y", 1, -75),
                 heard("tag-x", 1, -60, otherTag())});
    session.update(table, at(3.5));
    EXPECT_EQ(session.status(), FindSession::Status::ambiguous({"tag-Z", "tag-z", "tag-é"}));
    EXPECT_EQ(session.targetKey(), "A");
    EXPECT_FALSE(session.isHearingTarget());
    EXPECT_EQ(session.rssi(), std::optional<double>(-60));
    EXPECT_EQ(session.clicksPerSecond(), 0.0);

    session.choose(*table.record("tag-z"));
    EXPECT_EQ(session.status(), FindSession::Status::reacquired("A"));
    EXPECT_EQ(session.targetKey(), "tag-z");
    EXPECT_EQ(session.rssi(), std::optional<double>(-58));
    EXPECT_EQ(session.lastHeard(), at(1));
    EXPECT_DOUBLE_EQ(session.clicksPerSecond(), ClickRate::perSecond(-58));

    // Reacquired stays while the new target is heard; it is trend history from scratch.
    hear(table, {heard("tag-z", 4, -58)});
    session.update(table, at(4));
    EXPECT_EQ(session.status(), FindSession::Status::reacquired("A"));
    hear(table, {heard("tag-z", 7, -40)});
    session.update(table, at(7));
    EXPECT_EQ(session.status(), FindSession::Status::reacquired("A"));
    EXPECT_EQ(session.trend(), TrendDirection::warmer);

    // Quiet again with nothing new around, then heard again: plain tracking.
    session.update(table, at(10.5));
    EXPECT_EQ(session.status(), plain(Kind::searching));
    hear(table, {heard("tag-z", 11, -41)});
    session.update(table, at(11));
    EXPECT_EQ(session.status(), plain(Kind::tracking));
    EXPECT_EQ(session.trend(), TrendDirection::steady);

    // Choosing from a quiet or tracking state names the key followed before.
    session.choose(*table.record("tag-é"));
    EXPECT_EQ(session.status(), FindSession::Status::reacquired("tag-z"));
}

TEST(FindSession, AmbiguityResolvesWhenOneCandidateRemains) {
    DeviceTable table;
    hear(table, {heard("A", 0)});
    FindSession session(*table.record("A"));
    hear(table, {heard("B", 1), heard("C", 1)});
    session.update(table, at(3.5));
    EXPECT_EQ(session.status(), FindSession::Status::ambiguous({"B", "C"}));

    hear(table, {heard("C", 4, -64)});
    session.update(table, at(4.5));  // B quiet for 3.5 s
    EXPECT_EQ(session.status(), FindSession::Status::reacquired("A"));
    EXPECT_EQ(session.targetKey(), "C");
    EXPECT_EQ(session.lastHeard(), at(4));

    // The new target falls quiet; the old one returning is no rotation of it.
    hear(table, {heard("A", 6)});
    session.update(table, at(7.5));
    EXPECT_EQ(session.status(), plain(Kind::searching));
    EXPECT_EQ(session.targetKey(), "C");
    session.update(table, at(19.1));
    EXPECT_EQ(session.status(), plain(Kind::lost));
}

TEST(FindSession, FollowsItsTargetWhenTheTableFoldsItOntoAnOlderRow) {
    Advertisement speaker = tag();
    speaker.localName = "Kitchen speaker";
    DeviceTable table;
    std::vector<Sighting> old;
    for (double t = 0; t < 10; t += 0.25) old.push_back(heard("old", t, -60, speaker));
    hear(table, std::move(old));
    // The new address is a row of its own until the old one has been quiet long enough.
    table.absorb(std::vector{heard("new", 10.05, -60, speaker)}, at(10.1));
    ASSERT_TRUE(table.record("new"));
    FindSession session(*table.record("new"));
    table.absorb(std::vector{heard("new", 11.5, -58, speaker)}, at(11.5));
    ASSERT_FALSE(table.record("new"));
    session.update(table, at(11.5));
    EXPECT_EQ(session.targetKey(), "old");
    EXPECT_EQ(session.status(), plain(Kind::tracking));
}

}  // namespace
}  // namespace quillmote
