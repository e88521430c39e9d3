#include "core/activity/activity_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::at;
using test::lowEnergy;
using test::paired;

// A device table fed by sightings and sampled by a recorder, as the store does it.
struct Scene {
    ActivityRecorder recorder;
    std::vector<DeviceRecord> records;  // table order
    std::vector<MinuteRecord> closed;

    void hear(const Sighting& sighting) {
        auto known = std::find_if(records.begin(), records.end(),
                                  [&](const DeviceRecord& record) { return record.id == sighting.deviceKey; });
        if (known == records.end())
            records.emplace_back(sighting, false);
        else
            known->absorb(sighting);
    }

    // Returns whether a minute was closed.
    bool tick(double seconds) {
        auto record = recorder.sample(records, at(seconds));
        if (record) closed.push_back(*record);
        return record.has_value();
    }

    // The closed record of the minute starting `seconds` after t0.
    MinuteRecord minute(double seconds) const {
        auto found = std::find_if(closed.begin(), closed.end(),
                                  [&](const MinuteRecord& record) { return record.minute == at(seconds); });
        if (found == closed.end()) {
            ADD_FAILURE() << "no record for the minute at " << seconds << " s";
            return {};
        }
        return *found;
    }

    std::int64_t total(std::int64_t MinuteRecord::*field) const {
        std::int64_t sum = 0;
        for (const auto& record : closed) sum += record.*field;
        return sum;
    }
};

TEST(ActivityRecorder, FirstMinuteOfListeningNeverCounts) {
    Scene scene;
    for (int t = 30; t <= 180; ++t) {
        scene.hear(lowEnergy("A", t));
        scene.hear(lowEnergy("B", t));
        if (t <= 35) scene.hear(lowEnergy("W", t));  // passes by while listening warms up
        scene.tick(t);
    }
    ASSERT_EQ(scene.closed.size(), 3u);
    EXPECT_EQ(scene.closed[0].minute, at(0));
    EXPECT_EQ(scene.closed[0].observedSeconds, 0);
    EXPECT_EQ(scene.closed[0].around, 0.0);
    EXPECT_EQ(scene.closed[1].minute, at(60));
    EXPECT_EQ(scene.closed[1].observedSeconds, 30);
    EXPECT_DOUBLE_EQ(scene.closed[1].around, 2.0);
    EXPECT_FALSE(scene.closed[1].isUsable());
    EXPECT_EQ(scene.closed[2].observedSeconds, 60);
    EXPECT_DOUBLE_EQ(scene.closed[2].around, 2.0);
    EXPECT_TRUE(scene.closed[2].isUsable());
    // W passed by (silent over 30 s at 66 s), but inside the warm-up.
    EXPECT_EQ(scene.total(&MinuteRecord::passing), 0);
    // A and B were there when listening began.
    EXPECT_EQ(scene.total(&MinuteRecord::arrived), 0);

    // Usable from 45 counted samples: listening from 15 s counts 75…119 s, from 16 s one fewer.
    for (auto [start, observed] : {std::pair{15, 45}, std::pair{16, 44}}) {
        Scene late;
        for (int t = start; t <= 120; ++t) late.tick(t);
        EXPECT_EQ(late.minute(60).observedSeconds, observed);
        EXPECT_EQ(late.minute(60).isUsable(), observed == 45);
    }
    EXPECT_FALSE((MinuteRecord{at(0), 44, 0, 0, 0, 0, 0}.isUsable()));
    EXPECT_TRUE((MinuteRecord{at(0), 45, 0, 0, 0, 0, 0}.isUsable()));
}

TEST(ActivityRecorder, AGapOfMoreThanFiveSecondsRestartsListening) {
    Scene scene;
    for (int t = 0; t <= 130; ++t) scene.tick(t);
    for (int t = 136; t <= 300; ++t) {  // 6 s without a sample
        if (t >= 150) scene.hear(lowEnergy("B", t));  // first heard within a minute of the restart
        if (t >= 196) scene.hear(lowEnergy("C", t));  // first heard a minute after it
        scene.tick(t);
    }
    EXPECT_EQ(scene.minute(120).observedSeconds, 11);  // 120…130 s; 136…179 s are warm-up again
    EXPECT_EQ(scene.minute(180).observedSeconds, 44);  // from 196 s
    EXPECT_EQ(scene.minute(240).observedSeconds, 60);
    // Both are heard for a minute, but only C arrived.
    EXPECT_EQ(scene.minute(180).arrived, 0);
    EXPECT_EQ(scene.minute(240).arrived, 1);
    EXPECT_EQ(scene.total(&MinuteRecord::arrived), 1);

    // Exactly 5 s is not a gap.
    Scene steady;
    for (int t = 0; t <= 130; ++t) steady.tick(t);
    for (int t = 135; t <= 180; ++t) steady.tick(t);
    EXPECT_EQ(steady.minute(120).observedSeconds, 56);
}

TEST(ActivityRecorder, PassersByArrivalsAndDeparturesAreCountedOnce) {
    // Times chosen so that each threshold is met on the last second of a minute.
    Scene scene;
    for (int t = -120; t <= 600; ++t) {
        if (t >= 0 && t <= 29) scene.hear(lowEnergy("P", t));    // a short visit
        if (t >= -1 && t <= 239) scene.hear(lowEnergy("S", t));  // stays for minutes
        scene.tick(t);
    }
    // P: silent for more than 30 s at 60 s (exactly 30 s at 59 s is not enough).
    EXPECT_EQ(scene.minute(0).passing, 0);
    EXPECT_EQ(scene.minute(60).passing, 1);
    EXPECT_EQ(scene.total(&MinuteRecord::passing), 1);
    // S: a span of exactly 60 s at 59 s confirms it; 180 s of silence at 419 s.
    EXPECT_EQ(scene.minute(0).arrived, 1);
    EXPECT_EQ(scene.minute(360).left, 1);
    EXPECT_EQ(scene.total(&MinuteRecord::arrived), 1);
    EXPECT_EQ(scene.total(&MinuteRecord::left), 1);
}

TEST(ActivityRecorder, AReturnWithinFiveMinutesTellsNoNewStory) {
    Scene scene;
    for (int t = -120; t <= 1440; ++t) {
        bool heard = (t >= 0 && t <= 200) || (t >= 450 && t <= 700) || (t >= 1100 && t <= 1200);
        if (heard) scene.hear(lowEnergy("S", t));
        scene.tick(t);
    }
    EXPECT_EQ(scene.minute(60).arrived, 1);
    EXPECT_EQ(scene.minute(360).left, 1);
    // Back at 450 s, 250 s after leaving: still remembered, nothing new until it is
    // forgotten after more than 300 s of silence (from 1001 s).
    for (double minute : {420, 480, 540, 600, 660, 720, 780, 840, 900, 960, 1020})
        EXPECT_EQ(scene.minute(minute).arrived + scene.minute(minute).left, 0) << minute;
    // Heard again at 1100 s: a fresh entry takes the record's firstSeen (0 s), so the
    // span is long enough at once.
    EXPECT_EQ(scene.minute(1080).arrived, 1);
    EXPECT_EQ(scene.minute(1380).left, 1);
    EXPECT_EQ(scene.total(&MinuteRecord::arrived), 2);
    EXPECT_EQ(scene.total(&MinuteRecord::left), 2);
    EXPECT_EQ(scene.total(&MinuteRecord::passing), 0);
}

TEST(ActivityRecorder, PairedDevicesNeverCountAndAroundMeansHeardInTheLast30Seconds) {
    Scene scene;
    for (int t = -120; t <= 300; ++t) {
        scene.hear(lowEnergy("A", t));
        if (t == 60) scene.hear(lowEnergy("B", t));
        scene.hear(paired("phone", t));
        if (t <= 0) scene.hear(paired("watch", t));  // would leave at 180 s if it counted
        scene.tick(t);
    }
    // 60 samples of A, and B for the 31 samples from 60 s to 90 s.
    EXPECT_DOUBLE_EQ(scene.minute(60).around, 91.0 / 60.0);
    EXPECT_DOUBLE_EQ(scene.minute(120).around, 1.0);
    EXPECT_EQ(scene.minute(60).passing, 1);  // B
    EXPECT_EQ(scene.total(&MinuteRecord::passing), 1);
    EXPECT_EQ(scene.total(&MinuteRecord::arrived), 0);
    EXPECT_EQ(scene.total(&MinuteRecord::left), 0);
}

TEST(ActivityRecorder, MovesAreJudgedAtMinuteBoundaries) {
    Scene scene;
    for (int t = -120; t <= 240; ++t) {
        scene.hear(lowEnergy("D", t, t <= 90 ? -40 : -70));                   // near, then same room
        scene.hear(lowEnergy("E", t, t <= 100 ? std::nullopt : std::optional(-40)));  // no class at first
        scene.hear(lowEnergy("F", t, t >= 130 && t <= 150 ? -70 : -40));      // away and back between boundaries
        scene.tick(t);
    }
    ASSERT_EQ(scene.records[0].proximity(), Proximity::room);
    ASSERT_EQ(scene.records[1].proximity(), Proximity::near);
    EXPECT_EQ(scene.minute(0).moved, 0);
    EXPECT_EQ(scene.minute(60).moved, 1);  // D only
    EXPECT_EQ(scene.minute(120).moved, 0);
}

TEST(ActivityRecorder, MinutesWithoutSamplesProduceNoRecords) {
    Scene scene;
    for (int t = 0; t <= 150; ++t) scene.tick(t);
    ASSERT_EQ(scene.closed.size(), 2u);
    EXPECT_TRUE(scene.tick(400));  // more than three minutes later
    ASSERT_EQ(scene.closed.size(), 3u);
    EXPECT_EQ(scene.closed.back().minute, at(120));
    EXPECT_EQ(scene.closed.back().observedSeconds, 31);  // 120…150 s
    EXPECT_FALSE(scene.tick(401));
    EXPECT_TRUE(scene.tick(420));
    EXPECT_EQ(scene.closed.back().minute, at(360));
    EXPECT_EQ(scene.closed.back().observedSeconds, 0);  // the gap restarted listening
}

}  // namespace
}  // namespace quillmote
