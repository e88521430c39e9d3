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
    for (int i = 1; i <= count; ++i) minutes.push_back({at - std::chrono::minutes(i), observed, around});
    return minutes;
}

SurgeDetector::UsualLevel constant(double level) {
    return [level](Instant) { return std::optional<double>(level); };
}

const SurgeDetector::NamedPresent nobody = [] { return std::vector<std::string>{}; };

// What changed, if anything; an empty change is never read through.
std::optional<Kind> kindOf(const std::optional<SurgeDetector::Change>& change) {
    return change ? std::optional(change->kind) : std::nullopt;
}

SurgeEvent openEpisode(Instant started, double usual, double peak) {
    return SurgeEvent{randomUuid(), started, std::nullopt, usual, peak, peak, {}};
}

TEST(SurgeDetector, StartEndAndPeakThresholds) {
    struct Case {
        double usual, around;
        std::optional<double> peak;  // of an episode already open
        std::optional<Kind> change;
    };
    for (const Case& c : std::vector<Case>{
             {10, 19, {}, {}}, {10, 20, {}, Kind::started},  // half again as many, then also ten more
             {30, 44, {}, {}}, {30, 45, {}, Kind::started},  // ten more, then also half again
             {20, 25, 30, {}}, {20, 24.9, 30, Kind::ended},  // exactly a quarter more is not below it
             {20, 30, 30, {}}, {20, 35, 30, Kind::updated},  // only a new peak is news
         }) {
        SurgeDetector detector(c.peak ? std::optional(openEpisode(now - 10min, c.usual, *c.peak)) : std::nullopt, 30);
        EXPECT_EQ(kindOf(detector.evaluate(window(c.around), constant(c.usual), now, nobody)), c.change)
            << c.usual << " → " << c.around;
    }
}

TEST(SurgeDetector, AnEpisodeFromStartToEnd) {
    int asked = 0;
    const SurgeDetector::NamedPresent named = [&asked] {
        ++asked;
        return std::vector<std::string>{"Kitchen speaker", "Watch"};
    };
    SurgeDetector detector(std::nullopt, 30);
    EXPECT_EQ(detector.evaluate(window(12), constant(10), now, named), std::nullopt);
    const SurgeEvent started = detector.evaluate(window(20), constant(10), now, named).value().event;
    EXPECT_EQ(started, (SurgeEvent{started.id, now, std::nullopt, 10, 20, 20, {"Kitchen speaker", "Watch"}}));
    EXPECT_EQ(detector.evaluate(window(35), constant(10), now + 1min, named).value().event.peakAround, 35);
    // Too few minutes leave the episode open and unchanged.
    EXPECT_EQ(detector.evaluate(window(0, 5), constant(10), now + 2min, named), std::nullopt);
    const SurgeEvent ended = detector.evaluate(window(12), constant(10), now + 3min, named).value().event;
    EXPECT_EQ(ended, (SurgeEvent{started.id, now, now + 3min, 10, 20, 35, started.namedDevices}));
    EXPECT_EQ(detector.evaluate(window(12), constant(10), now + 4min, named), std::nullopt);
    EXPECT_EQ(asked, 1);  // the named devices are those present at the start
}

TEST(SurgeDetector, TwoThirdsOfTheWindowMustBeUsable) {
    // 19 usable minutes, with unusable and older ones around them, decide nothing.
    auto minutes = window(50, 19);
    for (auto& record : window(50, 5, now - 19min, 44)) minutes.push_back(record);
    for (auto& record : window(50, 5, now - 31min)) minutes.push_back(record);
    SurgeDetector detector(std::nullopt, 30);
    EXPECT_EQ(detector.evaluate(minutes, constant(10), now, nobody), std::nullopt);
    minutes.push_back(window(50, 20).back());
    EXPECT_EQ(kindOf(detector.evaluate(minutes, constant(10), now, nobody)), Kind::started);

    // The minute exactly at the window's start is inside it.
    auto two = window(50, 3);
    two.erase(two.begin());  // minutes 2 and 3 before now
    EXPECT_EQ(kindOf(SurgeDetector(std::nullopt, 3).evaluate(two, constant(10), now, nobody)), Kind::started);
    // A one-minute window decides on one minute.
    EXPECT_EQ(kindOf(SurgeDetector(std::nullopt, 1).evaluate(window(50, 1), constant(10), now, nobody)), Kind::started);
}

TEST(SurgeDetector, AMinuteWithoutAUsualLevelLeavesNothingToJudge) {
    auto gap = [](Instant minute) { return minute == now - 7min ? std::nullopt : std::optional(10.0); };
    EXPECT_EQ(SurgeDetector(std::nullopt, 30).evaluate(window(100), gap, now, nobody), std::nullopt);
}

TEST(SurgeDetector, StaleEpisodesEndAtTheirLastEvidence) {
    // The last usable minute is 61 minutes old; a later unusable one does not count.
    auto old = window(80, 30, now - 60min);
    old.push_back(window(80, 1, now - 10min, 10).front());
    SurgeDetector detector(openEpisode(now - 3h, 20, 60), 30);
    EXPECT_EQ(detector.evaluate(old, constant(20), now, nobody).value().event.ended, now - 61min);
    // An episode resumed after its last minute ends at its own start.
    SurgeDetector resumed(openEpisode(now - 62min, 20, 60), 30);
    EXPECT_EQ(resumed.evaluate(window(80, 30, now - 69min), constant(20), now, nobody).value().event.ended,
              now - 62min);
    // Exactly an hour is not yet stale.
    SurgeDetector hour(openEpisode(now - 3h, 20, 60), 30);
    EXPECT_EQ(hour.evaluate(window(80, 30, now - 59min), constant(20), now, nobody), std::nullopt);

    // A finished episode is not resumed: it keeps the end it had.
    auto finished = openEpisode(now - 3h, 20, 60);
    finished.ended = now - 2h;
    EXPECT_EQ(SurgeDetector(finished, 30).evaluate({}, constant(20), now, nobody), std::nullopt);
}

}  // namespace
}  // namespace quillmote
