#include "core/find/find_session.h"

#include <gtest/gtest.h>

#include <cmath>

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

const Status tracking{Kind::tracking, {}, {}}, searching{Kind::searching, {}, {}}, lost{Kind::lost, {}, {}};

// A session following the row of its first sighting; each tick the table first hears that tick's sightings.
struct Finding {
    DeviceTable table;
    std::optional<FindSession> session;

    explicit Finding(Sighting first) {
        const std::string key = first.deviceKey;
        table.absorb(std::vector{std::move(first)});
        session.emplace(*table.record(key));
    }
    Status tick(double seconds, std::vector<Sighting> sightings = {}) {
        table.absorb(std::move(sightings));
        session->update(table, at(seconds));
        return session->status();
    }
};

TEST(ClickRate, GeometricBetweenSlowestAndFastest) {
    const std::pair<double, double> cases[] = {
        {-100, 0.5}, {-95, 0.5}, {-67.5, 0.5 * std::sqrt(40.0)}, {-40, 20}, {-30, 20}, {std::nan(""), 0.5}};
    for (auto [rssi, rate] : cases) EXPECT_NEAR(ClickRate::perSecond(rssi), rate, 1e-12) << rssi;
}

TEST(TrendTracker, ComparesWithTheNewestSampleAtLeastThreeSecondsOld) {
    using enum TrendDirection;
    // A reading some seconds after −70 dBm; within 2 dB it is steady.
    const std::tuple<double, double, TrendDirection> cases[] = {
        {-66, 3.0, warmer}, {-68, 3.0, steady}, {-72, 3.0, steady}, {-72.5, 3.0, colder},
        {-60, 2.9, steady} /* under three seconds of history */, {-60, 4.0, warmer} /* four seconds old counts */,
        {-60, 4.1, steady} /* dropped: older than the look-back and a second */};
    for (auto [rssi, seconds, trend] : cases) {
        TrendTracker tracker;
        EXPECT_EQ(tracker.add(-70, at(0)), steady);
        EXPECT_EQ(tracker.add(rssi, at(seconds)), trend) << rssi << " after " << seconds << " s";
    }
    TrendTracker tracker;
    tracker.add(-70, at(0));
    tracker.add(-60, at(1));
    EXPECT_EQ(tracker.add(-61, at(4)), steady);
    EXPECT_EQ(tracker.add(-70, at(5)), colder);  // against −60 at 1 s, not −70 at 0 s
}

TEST(FindSession, FollowsItsRowThroughQuietAndLostUntilHeardAgain) {
    Finding find(heard("A", 0, -70));
    const FindSession& session = *find.session;
    EXPECT_EQ(find.tick(0), tracking);
    // The packet is from 1 s, the tick at 3 s: three seconds of history by the tick's clock.
    find.tick(3, {heard("A", 1, -50)});
    EXPECT_EQ(session.trend(), TrendDirection::warmer);
    EXPECT_EQ(find.tick(4.0), tracking);
    EXPECT_EQ(find.tick(4.1), searching);
    EXPECT_EQ(session.clicksPerSecond(), 0.0);
    EXPECT_EQ(session.trend(), TrendDirection::warmer) << "quiet ticks leave the trend";
    EXPECT_EQ(find.tick(16.0), searching);
    EXPECT_EQ(find.tick(16.1), lost);

    EXPECT_EQ(find.tick(20.5, {heard("A", 20, -50)}), tracking);
    EXPECT_EQ(session.lastHeard(), at(20));
    EXPECT_NEAR(session.clicksPerSecond(), ClickRate::perSecond(-50), 1e-6);
    // A row that left the table counts as quiet at once; lost counts from when it was last heard.
    find.table.removeSilent(at(22), 1.0);
    EXPECT_EQ(find.tick(22), searching);
    EXPECT_EQ(find.tick(35.1), lost);
}

TEST(FindSession, RotationCandidatesMustAppearNearTheEndOfTheTargetAtASimilarLevel) {
    // The target is last heard at 10 s; a matching row shows up `firstSeen` s in
    // and is heard until `lastSeen`; the tick is at 13.5 s.
    auto status = [](double firstSeen, double lastSeen = 12, int rssi = -60, std::string uuid = "FD6F") {
        Finding find(heard("A", 0));
        find.tick(10, {heard("B", firstSeen, rssi, uuid), heard("A", 10)});
        return find.tick(13.5, {heard("B", lastSeen, rssi, uuid)});
    };
    const auto moved = Status::reacquired("A");
    EXPECT_EQ(status(7.95), searching) << "appeared 2.05 s before the target's end";
    EXPECT_EQ(status(8.0), moved);
    EXPECT_EQ(status(8.5, 10.4), searching) << "the candidate is quiet itself";
    EXPECT_EQ(status(8.5, 10.5), moved);
    EXPECT_EQ(status(8.5, 12, -70), moved);
    EXPECT_EQ(status(8.5, 12, -71), searching) << "11 dB apart";
    EXPECT_EQ(status(8.5, 12, -60, "FE2C"), searching) << "another fingerprint";

    // A target never heard with a level takes a match at any level.
    Finding silent(heard("A", 0, std::nullopt));
    EXPECT_EQ(silent.session->clicksPerSecond(), 0.0) << "tracking, but nothing to click at";
    EXPECT_EQ(silent.tick(1, {heard("B", 1, -95)}), moved);
    EXPECT_EQ(silent.session->rssi(), std::optional<double>(-95));
}

TEST(FindSession, SeveralMatchesAskTheUserToChoose) {
    Finding find(heard("A", 0));
    FindSession& session = *find.session;
    // Code-point order: upper case before lower case, and both before non-ASCII.
    EXPECT_EQ(find.tick(3.5, {heard("tag-é", 1, -62), heard("tag-z", 1, -58), heard("tag-Z", 1, -61),
                              heard("tag-y", 1, -75), heard("tag-x", 1, -60, "FE2C")}),
              Status::ambiguous({"tag-Z", "tag-z", "tag-é"}));
    EXPECT_EQ(session.clicksPerSecond(), 0.0);

    session.choose(*find.table.record("tag-z"));
    EXPECT_EQ(session.status(), Status::reacquired("A"));
    EXPECT_EQ(session.lastHeard(), at(1));
    EXPECT_DOUBLE_EQ(session.clicksPerSecond(), ClickRate::perSecond(-58));
    // Reacquired stays while the new target is heard.
    EXPECT_EQ(find.tick(4, {heard("tag-z", 4, -58)}), Status::reacquired("A"));
    // Quiet with nothing new around (the old target returning is no rotation of it), then heard: tracking.
    EXPECT_EQ(find.tick(7.5, {heard("A", 6)}), searching);
    EXPECT_EQ(find.tick(8, {heard("tag-z", 8, -58)}), tracking);
}

TEST(FindSession, FollowsItsTargetWhenTheTableFoldsItOntoAnOlderRow) {
    Advertisement speaker = withService("FD6F");
    speaker.localName = "Kitchen speaker";
    DeviceTable table;
    std::vector<Sighting> old;
    for (double t = 0; t < 10; t += 0.25) old.push_back(test::lowEnergy("old", t, -60, speaker));
    table.absorb(std::move(old));
    // The new address is a row of its own until the old one has been quiet long enough.
    table.absorb(std::vector{test::lowEnergy("new", 10.05, -60, speaker)}, at(10.1));
    FindSession session(*table.record("new"));
    table.absorb(std::vector{test::lowEnergy("new", 11.5, -58, speaker)}, at(11.5));
    ASSERT_FALSE(table.record("new"));
    session.update(table, at(11.5));
    EXPECT_EQ(session.targetKey(), "old");
    EXPECT_EQ(session.status(), tracking);
}

}  // namespace
}  // namespace quillmote
