#include "core/activity/activity_recorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::at;
using test::lowEnergy;
using test::paired;
using Events = std::vector<std::string>;

// A device table fed by sightings and sampled by a recorder, as the store does it.
struct Scene {
    ActivityRecorder recorder;
    std::vector<DeviceRecord> records;  // table order
    std::vector<MinuteRecord> closed;

    void hear(const Sighting& sighting) {
        for (auto& record : records)
            if (record.id == sighting.deviceKey) return record.absorb(sighting);
        records.emplace_back(sighting, false);
    }

    void tick(double seconds) {
        if (auto record = recorder.sample(records, at(seconds))) closed.push_back(*record);
    }

    // The closed record of the minute starting `seconds` after t0.
    MinuteRecord minute(double seconds) const {
        for (const auto& record : closed)
            if (record.minute == at(seconds)) return record;
        ADD_FAILURE() << "no record for the minute at " << seconds << " s";
        return {};
    }

    // Every event counted, as "<seconds of its minute> <what>", in time order.
    Events events() const {
        Events out;
        for (const auto& record : closed) {
            const std::string minute = std::to_string(std::lround(secondsBetween(at(0), record.minute))) + " ";
            for (auto [count, what] : {std::pair{record.passing, "passing"}, {record.arrived, "arrived"},
                                       {record.left, "left"}, {record.moved, "moved"}})
                for (std::int64_t i = 0; i < count; ++i) out.push_back(minute + what);
        }
        return out;
    }
};

TEST(ActivityRecorder, AroundCountsDevicesHeardInTheLast30SecondsAfterTheFirstMinute) {
    Scene scene;
    for (int t = 30; t <= 180; ++t) {
        scene.hear(lowEnergy("A", t));
        scene.hear(lowEnergy("B", t));
        if (t <= 35) scene.hear(lowEnergy("W", t));   // passes by (silent over 30 s at 66 s) during the warm-up
        if (t == 100) scene.hear(lowEnergy("P", t));  // around until 130 s, passing by at 131 s
        scene.hear(paired("phone", t));               // paired devices never count
        scene.tick(t);
    }
    // A and B were there when listening began: no arrivals. P is around for 20 counted
    // samples of the second minute and 11 of the third.
    EXPECT_EQ(scene.closed, (std::vector<MinuteRecord>{{at(0), 0, 0.0, 0, 0, 0, 0}, {at(60), 30, 80.0 / 30, 0, 0, 0, 0},
                                                       {at(120), 60, 131.0 / 60, 1, 0, 0, 0}}));
    // Listening from 15 s counts 75…119 s: 45 samples, enough for a usable minute.
    Scene late;
    for (int t = 15; t <= 120; ++t) late.tick(t);
    EXPECT_EQ(late.minute(60).observedSeconds, 45);
}

TEST(ActivityRecorder, AGapOfMoreThanFiveSecondsRestartsListening) {
    Scene scene;
    for (int t = 0; t <= 300; ++t) {
        if (t > 130 && t < 136) continue;  // 6 s without a sample
        if (t >= 150) scene.hear(lowEnergy("B", t));  // first heard within a minute of the restart
        if (t >= 196) scene.hear(lowEnergy("C", t));  // first heard a minute after it
        scene.tick(t);
    }
    EXPECT_EQ(scene.minute(120).observedSeconds, 11);  // 120…130 s; 136…179 s are warm-up again
    EXPECT_EQ(scene.minute(180).observedSeconds, 44);  // from 196 s
    EXPECT_EQ(scene.events(), Events{"240 arrived"});  // both are heard for a minute, but only C arrived

    // Exactly 5 s is not a gap.
    Scene steady;
    for (int t = 0; t <= 180; ++t)
        if (t <= 130 || t >= 135) steady.tick(t);
    EXPECT_EQ(steady.minute(120).observedSeconds, 56);
}

TEST(ActivityRecorder, PassersByArrivalsAndDeparturesAreCountedOnce) {
    // Times chosen so that each threshold is met on the last second of a minute.
    Scene scene;
    for (int t = -120; t <= 1440; ++t) {
        if (t >= 0 && t <= 29) scene.hear(lowEnergy("P", t));  // a short visit
        if ((t >= -1 && t <= 239) || (t >= 489 && t <= 700) || (t >= 1100 && t <= 1200))
            scene.hear(lowEnergy("S", t));  // stays for minutes, three times
        scene.tick(t);
    }
    // P: silent for more than 30 s at 60 s (exactly 30 s at 59 s is not enough).
    // S: a span of exactly 60 s at 59 s confirms it; 180 s of silence at 419 s. Back at
    // 489 s it is still remembered: nothing new until it is forgotten after more than
    // 300 s of silence (from 1001 s). Heard again at 1100 s, a fresh entry takes the
    // record's firstSeen, so the span is long enough at once.
    EXPECT_EQ(scene.events(), (Events{"0 arrived", "60 passing", "360 left", "1080 arrived", "1380 left"}));
}

TEST(ActivityRecorder, MovesAreJudgedAtMinuteBoundaries) {
    Scene scene;
    for (int t = -120; t <= 240; ++t) {
        scene.hear(lowEnergy("D", t, t <= 90 ? -40 : -70));                           // near, then same room
        scene.hear(lowEnergy("E", t, t <= 100 ? std::nullopt : std::optional(-40)));  // no class at first
        scene.hear(lowEnergy("F", t, t >= 130 && t <= 150 ? -70 : -40));  // away and back between boundaries
        scene.tick(t);
    }
    ASSERT_EQ(scene.records[0].proximity(), Proximity::room);
    EXPECT_EQ(scene.events(), Events{"60 moved"});  // D only
}

}  // namespace
}  // namespace quillmote
