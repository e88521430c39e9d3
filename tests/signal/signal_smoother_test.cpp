#include "core/signal/signal_smoother.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <numeric>
#include <random>
#include <tuple>
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
    EXPECT_EQ(SignalSmoother::median(std::vector{-50, -90, -70, -80}), -75.0);
    // The two middle values are added without overflowing.
    EXPECT_EQ(SignalSmoother::median(std::vector{INT_MIN, INT_MIN}), static_cast<double>(INT_MIN));
    // A window larger than any inline buffer: 0 … 200 reversed.
    std::vector<int> many(201);
    std::iota(many.rbegin(), many.rend(), 0);
    EXPECT_EQ(SignalSmoother::median(many), 100.0);
}

TEST(SignalSmoother, ApproachesTheWindowMedianByElapsedTime) {
    SignalSmoother smoother;
    smoother.add(-60, at(0));
    EXPECT_EQ(smoother.value, -60.0);
    // No time has passed: the window changes, the value does not.
    smoother.add(-70, at(0));
    EXPECT_EQ(smoother.value, -60.0);
    smoother.add(-70, at(0.5));
    // Median −70, α = 1 − e^(−0.5/0.9) ≈ 0.426.
    EXPECT_NEAR(*smoother.value, -64.26, 0.005);
    EXPECT_EQ(smoother.lastUpdate, at(0.5));

    // Several time constants later the value has all but reached the median.
    smoother.add(-40, at(10));
    EXPECT_NEAR(*smoother.value, -40.0, 0.001);
}

TEST(SignalSmoother, WindowKeepsOneSecondAndSurvivesOutOfOrderTimes) {
    SignalSmoother smoother;
    smoother.add(-60, at(0));
    smoother.add(-62, at(0.5));
    smoother.add(-64, at(1.0));  // exactly one second after the first: it stays
    EXPECT_EQ(windowReadings(smoother), (std::vector{-60, -62, -64}));
    smoother.add(-90, at(2.3));
    EXPECT_EQ(windowReadings(smoother), (std::vector{-90}));

    // A late packet with an earlier time: no step backwards, but it is the last update.
    double before = *smoother.value;
    smoother.add(-50, at(2.0));
    EXPECT_EQ(smoother.value, before);
    EXPECT_EQ(smoother.lastUpdate, at(2.0));

}

// The smoother keeps counts to find its median quickly; a plain selection over the
// same window, trimmed the same way, must give the same value after every reading.
TEST(SignalSmoother, CountedMedianMatchesASelectionOverTheWindow) {
    std::mt19937 random(7);
    for (const auto& [spread, lateEvery, outlierEvery] :
         {std::tuple{40, 0, 0}, {3, 5, 0}, {90, 3, 0}, {40, 4, 50}, {1, 0, 0}}) {
        SignalSmoother smoother;
        std::vector<SignalSmoother::Sample> reference;
        std::optional<double> value;
        double t = 0, last = 0;
        for (int i = 1; i <= 3000; ++i) {
            t += 0.002 * (random() % 5);
            const double time = lateEvery && i % lateEvery == 0 ? t - 0.001 * (random() % 1500) : t;
            const int rssi = outlierEvery && i % outlierEvery == 0 ? 1000 : -60 - int(random() % unsigned(spread));
            smoother.add(rssi, at(time));
            reference.push_back({at(time), rssi});
            std::erase_if(reference, [&](const auto& sample) { return sample.time < at(time - 1.0); });
            std::vector<int> readings;
            for (const auto& sample : reference) readings.push_back(sample.rssi);
            const double median = SignalSmoother::median(readings);
            value = value ? *value + (median - *value) * -std::expm1(-std::max(time - last, 0.0) / 0.9) : median;
            last = time;
            ASSERT_EQ(smoother.window.size(), reference.size()) << i;
            ASSERT_NEAR(*smoother.value, *value, 1e-9) << i;
        }
    }
}

TEST(SignalHistory, OnePointPerWholeSecondOfTheClockForTwoMinutes) {
    SignalHistory history;
    for (int i = 0; i <= 10; ++i) history.record(-60 - i, at(i * 0.05));
    EXPECT_EQ(history.points, (std::vector{SignalPoint{at(0.5), -70}}));
    history.record(-61, at(1.1));  // a new second of the clock, not one second after the last point
    history.record(-62, at(120.5));
    EXPECT_EQ(history.points.size(), 3u) << "exactly 120 s back stays";
    history.record(-63, at(121));
    EXPECT_EQ(history.points, (std::vector{SignalPoint{at(1.1), -61}, SignalPoint{at(120.5), -62},
                                           SignalPoint{at(121), -63}}));

    // Counted by truncation from the start of 2001: half a second either side of it
    // share second zero.
    const Instant reference{std::chrono::seconds(978307200)};
    SignalHistory aroundReference;
    aroundReference.record(-60, addingSeconds(reference, -0.5));
    aroundReference.record(-61, addingSeconds(reference, 0.5));
    EXPECT_EQ(aroundReference.points.size(), 1u);
    aroundReference.record(-62, addingSeconds(reference, 1.0));
    EXPECT_EQ(aroundReference.points.size(), 2u);
}

}  // namespace
}  // namespace quillmote
