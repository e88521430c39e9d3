#include "core/activity/surge_detector.h"

#include <gtest/gtest.h>

#include "tests/activity/local_time.h"

namespace quillmote {
namespace {

using namespace std::chrono_literals;
using Kind = SurgeDetector::Change::Kind;

const Instant now = test::utc(2026, 3, 14, 15);

// `count` usable minutes ending just before `at`, newest first, all with one level.
std::vector<MinuteRecord> window(double around, int count = 30, Instant at = now, std::int64_t observed = 60) {
    std::vector<MinuteRecord> minutes;
    for (int i = 1; i <= count; ++i) {
        MinuteRecord record;
        record.minute = at - std::chrono::minutes(i);
        record.observedSeconds = observed;
        record.around = around;
        minutes.push_back(record);
    }
    return minutes;
}

SurgeDetector::UsualLevel constant(double level) {
    return [level](Instant) { return std::optional<double>(level); };
}

const SurgeDetector::NamedPresent nobody = [] { return std::vector<std::string>{}; };

SurgeEvent openEpisode(Instant started, double usual, double peak) {
    SurgeEvent event;
    event.id = randomUuid();
    event.started = started;
    event.usualAround = usual;
    event.aroundAtStart = peak;
    event.peakAround = peak;
    return event;
}

TEST(SurgeDetector, StartNeedsBothHalfAgainAndTenMore) {
    // Usual 10: 19 is half again as many but not ten more; 20 is both.
    SurgeDetector small(std::nullopt, 30);
    EXPECT_EQ(small.evaluate(window(19), constant(10), now, nobody), std::nullopt);
    EXPECT_FALSE(small.open());
    auto started = small.evaluate(window(20), constant(10), now, nobody);
    ASSERT_TRUE(started);
    EXPECT_EQ(started->kind, Kind::started);
    EXPECT_EQ(started->event.started, now);
    EXPECT_EQ(started->event.ended, std::nullopt);
    EXPECT_EQ(started->event.usualAround, 10);
    EXPECT_EQ(started->event.aroundAtStart, 20);
    EXPECT_EQ(started->event.peakAround, 20);
    EXPECT_EQ(small.open(), started->event);

    // Usual 30: 44 is ten more but not half again; 45 is both.
    SurgeDetector large(std::nullopt, 30);
    EXPECT_EQ(large.evaluate(window(44), constant(30), now, nobody), std::nullopt);
    auto second = large.evaluate(window(45), constant(30), now, nobody);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->kind, Kind::started);
    EXPECT_NE(second->event.id, started->event.id);
}

TEST(SurgeDetector, CoverageOfTheWindow) {
    // 19 usable minutes, with unusable and older ones around them, decide nothing.
    auto minutes = window(50, 19);
    for (auto& record : window(50, 5, now - 19min, 44)) minutes.push_back(record);
    for (auto& record : window(50, 5, now - 31min)) minutes.push_back(record);
    SurgeDetector detector(std::nullopt, 30);
    EXPECT_EQ(detector.evaluate(minutes, constant(10), now, nobody), std::nullopt);
    minutes.push_back(window(50, 20).back());
    EXPECT_EQ(detector.evaluate(minutes, constant(10), now, nobody)->kind, Kind::started);

    // The minute exactly at the window's start is inside it.
    SurgeDetector edge(std::nullopt, 3);
    EXPECT_EQ(edge.evaluate(window(50, 1), constant(10), now, nobody), std::nullopt);
    auto two = window(50, 3);
    two.erase(two.begin());  // minutes 2 and 3 before now
    EXPECT_EQ(edge.evaluate(two, constant(10), now, nobody)->kind, Kind::started);

    // A one-minute window still needs one minute, and decides on one.
    SurgeDetector tiny(std::nullopt, 1);
    EXPECT_EQ(tiny.evaluate({}, constant(10), now, nobody), std::nullopt);
    EXPECT_EQ(tiny.evaluate(window(50, 1), constant(10), now, nobody)->kind, Kind::started);
}

TEST(SurgeDetector, UsualLevelPerMinute) {
    // One minute without a usual level: no judgement at all.
    auto gap = [](Instant minute) -> std::optional<double> {
        if (minute == now - 7min) return std::nullopt;
        return 10.0;
    };
    SurgeDetector detector(std::nullopt, 30);
    EXPECT_EQ(detector.evaluate(window(100), gap, now, nobody), std::nullopt);
    EXPECT_FALSE(detector.open());

    // Half the window usually sees 10 and half 30: the usual average is 20.
    auto mixed = [](Instant minute) { return std::optional<double>(minute < now - 15min ? 10.0 : 30.0); };
    auto started = detector.evaluate(window(30), mixed, now, nobody);
    ASSERT_TRUE(started);
    EXPECT_EQ(started->event.usualAround, 20);

    // The end test uses the usual level of the current window, not the stored one.
    auto ended = detector.evaluate(window(36), constant(30), now + 1min, nobody);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->kind, Kind::ended);
    EXPECT_EQ(ended->event.ended, now + 1min);
}

TEST(SurgeDetector, PeakAndEnd) {
    SurgeDetector detector(openEpisode(now - 10min, 20, 30), 30);
    // 25 is exactly 1.25 × 20, not below it.
    EXPECT_EQ(detector.evaluate(window(25), constant(20), now, nobody), std::nullopt);
    ASSERT_TRUE(detector.open());

    auto higher = detector.evaluate(window(35), constant(20), now, nobody);
    ASSERT_TRUE(higher);
    EXPECT_EQ(higher->kind, Kind::updated);
    EXPECT_EQ(higher->event.peakAround, 35);
    EXPECT_EQ(higher->event.aroundAtStart, 30);
    EXPECT_EQ(higher->event.ended, std::nullopt);
    EXPECT_EQ(detector.evaluate(window(35), constant(20), now, nobody), std::nullopt);
    EXPECT_EQ(detector.evaluate(window(32), constant(20), now, nobody), std::nullopt);
    EXPECT_EQ(detector.evaluate(window(40), constant(20), now, nobody)->event.peakAround, 40);
    // Too few minutes leave the episode open and unchanged.
    EXPECT_EQ(detector.evaluate(window(0, 5), constant(20), now, nobody), std::nullopt);
    EXPECT_EQ(detector.open()->peakAround, 40);

    auto ended = detector.evaluate(window(24.9), constant(20), now + 2min, nobody);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->kind, Kind::ended);
    EXPECT_EQ(ended->event.ended, now + 2min);
    EXPECT_EQ(ended->event.peakAround, 40);
    EXPECT_EQ(ended->event.id, higher->event.id);
    EXPECT_FALSE(detector.open());
    EXPECT_EQ(detector.evaluate(window(24.9), constant(20), now + 3min, nobody), std::nullopt);
}

TEST(SurgeDetector, StaleEpisodesEndAtTheirLastEvidence) {
    // The last usable minute is 61 minutes old; a later unusable one does not count.
    auto old = window(80, 30, now - 60min);
    old.push_back(window(80, 1, now - 10min, 10).front());
    SurgeDetector detector(openEpisode(now - 3h, 20, 60), 30);
    auto ended = detector.evaluate(old, constant(20), now, nobody);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->kind, Kind::ended);
    EXPECT_EQ(ended->event.ended, now - 61min);

    // An episode resumed after its last minute ends at its own start.
    auto older = window(80, 30, now - 69min);
    SurgeDetector resumed(openEpisode(now - 62min, 20, 60), 30);
    EXPECT_EQ(resumed.evaluate(older, constant(20), now, nobody)->event.ended, now - 62min);
    SurgeDetector empty(openEpisode(now - 62min, 20, 60), 30);
    EXPECT_EQ(empty.evaluate({}, constant(20), now, nobody)->event.ended, now - 62min);

    // Exactly an hour is not yet stale.
    SurgeDetector hour(openEpisode(now - 3h, 20, 60), 30);
    EXPECT_EQ(hour.evaluate(window(80, 30, now - 59min), constant(20), now, nobody), std::nullopt);
    EXPECT_TRUE(hour.open());

    // A finished episode is not resumed: it keeps the end it had.
    auto finished = openEpisode(now - 3h, 20, 60);
    finished.ended = now - 2h;
    SurgeDetector done(finished, 30);
    EXPECT_FALSE(done.open());
    EXPECT_EQ(done.evaluate({}, constant(20), now, nobody), std::nullopt);
}

TEST(SurgeDetector, NamedDevicesAskedOnlyAtTheStart) {
    int calls = 0;
    SurgeDetector::NamedPresent named = [&calls] {
        ++calls;
        return std::vector<std::string>{"Kitchen speaker", "Watch"};
    };
    SurgeDetector detector(std::nullopt, 30);
    detector.evaluate(window(12), constant(10), now, named);
    EXPECT_EQ(calls, 0);
    auto started = detector.evaluate(window(40), constant(10), now, named);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(started->event.namedDevices, (std::vector<std::string>{"Kitchen speaker", "Watch"}));
    detector.evaluate(window(50), constant(10), now, named);
    detector.evaluate(window(10), constant(10), now, named);
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace quillmote
