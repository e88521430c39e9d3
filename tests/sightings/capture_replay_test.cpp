#include "core/sightings/capture_replay.h"

#include <gtest/gtest.h>

namespace quillmote {
namespace {

using namespace std::chrono;
using Keys = std::vector<std::string>;

const Instant fileStart = sys_days(2026y / March / 1) + 14h;

Sighting heard(std::string key, milliseconds offset) {
    return Sighting(SightingSource::lowEnergy, std::move(key), fileStart + offset, -60);
}

Keys keys(const std::vector<Sighting>& sightings) {
    Keys out;
    for (const auto& s : sightings) out.push_back(s.deviceKey);
    return out;
}

TEST(CaptureReplay, SortsStablyAndOffsetsFromTheFirstSighting) {
    CaptureReplay replay({heard("late", 59500ms), heard("a", 0ms), heard("b", 0ms), heard("mid", 1150ms)});
    EXPECT_EQ(keys(replay.sightings()), (Keys{"a", "b", "mid", "late"}));
    EXPECT_EQ(replay.offsets(), (std::vector<double>{0.0, 0.0, 1.15, 59.5}));
    EXPECT_DOUBLE_EQ(replay.loopLength(), 60.5);

    CaptureReplay empty({});
    EXPECT_EQ(empty.loopLength(), 1.0);
    EXPECT_TRUE(empty.sightings(-1, 100, fileStart).empty());
}

TEST(CaptureReplay, WindowsAreHalfOpenAndLoopWithRetiming) {
    CaptureReplay replay({heard("first", 0ms), heard("second", 2000ms)});  // loop 3 s
    const Instant start = sys_days(2027y / January / 1);

    auto w1 = replay.sightings(-1, 0.05, start);
    ASSERT_EQ(keys(w1), Keys{"first"});
    EXPECT_EQ(w1[0].time, start);
    auto w3 = replay.sightings(2.5, 3.05, start);
    ASSERT_EQ(keys(w3), Keys{"first"});
    EXPECT_EQ(w3[0].time, start + 3s);
    EXPECT_EQ(w3[0].rssi, -60);  // everything but the time is kept

    // The window's upper end is included, its lower end is not.
    EXPECT_EQ(keys(replay.sightings(1.0, 2.0, start)), Keys{"second"});
    EXPECT_TRUE(replay.sightings(2.0, 2.9, start).empty());
    EXPECT_TRUE(replay.sightings(2.0, 2.0, start).empty());

    // A window spanning loops lists them loop by loop.
    auto many = replay.sightings(-1, 9.0, start);
    EXPECT_EQ(keys(many), (Keys{"first", "second", "first", "second", "first", "second", "first"}));
    EXPECT_EQ(many.back().time, start + 9s);
}

TEST(CaptureReplay, TickedWindowsDeliverEverySightingOncePerLoop) {
    std::vector<Sighting> capture;
    for (int i = 0; i < 40; ++i) capture.push_back(heard("d" + std::to_string(i), milliseconds(i * 37 + (i % 3))));
    CaptureReplay replay(capture);
    std::vector<Sighting> delivered;
    for (int k = 0; k * 0.125 <= 3 * replay.loopLength(); ++k)
        replay.appendSightings(k == 0 ? -1 : (k - 1) * 0.125, k * 0.125, fileStart, delivered);
    ASSERT_EQ(delivered.size(), 3 * capture.size());
    // The first loop keeps the file's own times exactly.
    for (std::size_t i = 0; i < capture.size(); ++i) EXPECT_EQ(delivered[i].time, capture[i].time);
    for (std::size_t i = 1; i < delivered.size(); ++i) EXPECT_LT(delivered[i - 1].time, delivered[i].time);
}

}  // namespace
}  // namespace quillmote
