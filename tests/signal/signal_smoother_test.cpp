#include "core/signal/signal_smoother.h"

#include <gtest/gtest.h>

#include <climits>
#include <numeric>
#include <vector>

#include "core/signal/signal_history.h"
#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::at;

std::vector<int> windowReadings(const SignalSmoother& smoother) {
    std::vector<int> readings;
    for (const auto& sample : smoother.window) readings.push_back(sample.rssi);
    return readings;
}

TEST(SignalSmoother, MedianOfOddAndEvenCounts) {
    EXPECT_EQ(SignalSmoother::median(std::vector{-60, -70}), -65.0);
    EXPECT_EQ(SignalSmoother::median(std::vector{-70, -61, -64}), -64.0);
    EXPECT_EQ(SignalSmoother::median(std::vector{-61, -64}), -62.5);
    EXPECT_EQ(SignalSmoother::median(std::vector{-42}), -42.0);
    EXPECT_EQ(SignalSmoother::median(std::vector{-50, -90, -70, -80}), -75.0);
    // The two middle values are added without overflowing.
    EXPECT_EQ(SignalSmoother::median(std::vector{INT_MIN, INT_MIN}), static_cast<double>(INT_MIN));

    // A window larger than any inline buffer: 0 … 200 reversed, and without its last.
    std::vector<int> many(201);
    std::iota(many.rbegin(), many.rend(), 0);
    EXPECT_EQ(SignalSmoother::median(many), 100.0);
    many.pop_back();
    EXPECT_EQ(SignalSmoother::median(many), 100.5);
    EXPECT_EQ(many.front(), 200) << "the input is left as it was";
}

TEST(SignalSmoother, FirstSampleAndSameInstant) {
    SignalSmoother smoother;
    smoother.add(-60, at(0));
    EXPECT_EQ(smoother.value, -60.0);
    EXPECT_EQ(smoother.lastUpdate, at(0));

    // No time has passed: the window changes, the value does not.
    smoother.add(-70, at(0));
    EXPECT_EQ(smoother.value, -60.0);
    EXPECT_EQ(windowReadings(smoother), (std::vector{-60, -70}));
}

TEST(SignalSmoother, ApproachesWindowMedianByElapsedTime) {
    SignalSmoother smoother;
    smoother.add(-60, at(0));
    smoother.add(-70, at(0.5));
    // Median −65, α = 1 − e^(−0.5/0.9) ≈ 0.426.
    EXPECT_NEAR(*smoother.value, -62.13, 0.005);
    EXPECT_EQ(smoother.lastUpdate, at(0.5));

    // With a window of only the newest reading, the step size alone shows:
    // about 10.5 % after 0.1 s, about 67 % after 1 s.
    SignalSmoother steps;
    steps.windowLength = 0.05;
    steps.add(-60, at(0));
    steps.add(-70, at(0.1));
    EXPECT_NEAR(*steps.value, -61.05, 0.01);
    steps.add(-80, at(1.1));
    EXPECT_NEAR(*steps.value, -73.76, 0.01);

    // Several time constants later the value has all but reached the median.
    steps.add(-40, at(11.1));
    EXPECT_NEAR(*steps.value, -40.0, 0.001);
}

TEST(SignalSmoother, WindowKeepsOneSecondAndSurvivesOutOfOrderTimes) {
    SignalSmoother smoother;
    smoother.add(-60, at(0));
    smoother.add(-62, at(0.5));
    smoother.add(-64, at(1.0));  // exactly one second after the first: it stays
    EXPECT_EQ(windowReadings(smoother), (std::vector{-60, -62, -64}));
    smoother.add(-66, at(1.2));
    EXPECT_EQ(windowReadings(smoother), (std::vector{-62, -64, -66}));
    smoother.add(-90, at(2.3));
    EXPECT_EQ(windowReadings(smoother), (std::vector{-90}));

    // A late packet with an earlier time: no step backwards, but it is the last update.
    double before = *smoother.value;
    smoother.add(-50, at(2.0));
    EXPECT_EQ(smoother.value, before);
    EXPECT_EQ(smoother.lastUpdate, at(2.0));
    EXPECT_EQ(windowReadings(smoother), (std::vector{-90, -50}));

    // The stale sample sits behind a fresh one; it still has to go.
    smoother.add(-70, at(3.1));
    EXPECT_EQ(windowReadings(smoother), (std::vector{-90, -70}));
}

TEST(SignalHistory, OnePointPerWholeSecond) {
    SignalHistory history;
    for (int i = 0; i < 10; ++i) history.record(-60 - i, at(0.05 + i * 0.09));
    ASSERT_EQ(history.points.size(), 1u);
    EXPECT_EQ(history.points[0], (SignalPoint{at(0.86), -69}));

    history.record(-50, at(1.0));
    ASSERT_EQ(history.points.size(), 2u);
    EXPECT_EQ(history.points[1].rssi, -50);

    // Seconds are whole seconds of the clock, not one second after the last point.
    SignalHistory straddling;
    straddling.record(-60, at(0.9));
    straddling.record(-61, at(1.1));
    EXPECT_EQ(straddling.points.size(), 2u);

    // Counted by truncation from the start of 2001: half a second either side of it
    // share second zero.
    const Instant reference{std::chrono::seconds(978307200)};
    SignalHistory aroundReference;
    aroundReference.record(-60, addingSeconds(reference, -0.5));
    aroundReference.record(-61, addingSeconds(reference, 0.5));
    ASSERT_EQ(aroundReference.points.size(), 1u);
    EXPECT_EQ(aroundReference.points[0].rssi, -61);
    aroundReference.record(-62, addingSeconds(reference, 1.0));
    EXPECT_EQ(aroundReference.points.size(), 2u);
}

TEST(SignalHistory, KeepsTwoMinutes) {
    SignalHistory history;
    history.record(-60, at(0));
    history.record(-61, at(1));
    history.record(-62, at(120));
    EXPECT_EQ(history.points.size(), 3u) << "exactly 120 s back stays";

    history.record(-63, at(121));
    ASSERT_EQ(history.points.size(), 3u);
    EXPECT_EQ(history.points.front(), (SignalPoint{at(1), -61}));
    EXPECT_EQ(history.points.back(), (SignalPoint{at(121), -63}));

    // After a long silence only the new point is left.
    history.record(-64, at(1000));
    EXPECT_EQ(history.points, (std::vector{SignalPoint{at(1000), -64}}));
}

}  // namespace
}  // namespace quillmote
