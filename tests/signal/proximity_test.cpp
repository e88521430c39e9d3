#include "core/signal/proximity.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/signal/signal_bars.h"
#include "core/signal/signal_ramp.h"

namespace quillmote {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(Proximity, RawValuesRoundTripAndBucketEdges) {
    for (Proximity level : {Proximity::far, Proximity::room, Proximity::near})
        EXPECT_EQ(proximityFromRaw(rawValue(level)), level);
    EXPECT_FALSE(proximityFromRaw("near"));

    EXPECT_EQ(bucket(-54.9), Proximity::near);
    EXPECT_EQ(bucket(-55.0), Proximity::room);
    EXPECT_EQ(bucket(-75.0), Proximity::room);
    EXPECT_EQ(bucket(-75.1), Proximity::far);
}

TEST(Proximity, TrackerChangesLevelOnlyWhenTheShiftedReadingLandsThere) {
    using enum Proximity;
    // Each reading is followed by the level the tracker then reports; the first is taken as it is.
    const std::pair<double, Proximity> walk[] = {
        {-56, room}, {-53, room} /* shifted −56 */, {-51, near}, {-57, near} /* shifted −54 */, {-59, room},
        {-78, room} /* shifted −75 is still the room */, {-78.1, far},
        {-54, far} /* shifted −57: two levels only when the shift lands there */, {-51, near},
        {-77, near}, {-79, far}, {-72.1, far}, {-72, room},
    };
    ProximityTracker tracker;
    for (auto [rssi, level] : walk) EXPECT_EQ(tracker.update(rssi), level) << rssi;
    EXPECT_EQ(tracker.current, room);

}

TEST(SignalBars, OnePerTenDecibelsClamped) {
    const std::pair<std::optional<double>, int> cases[] = {{std::nullopt, 0}, {nan, 0}, {-120, 0}, {-90.01, 0},
                                                           {-90, 1},          {-65, 3}, {-50, 5},  {-30, 5}};
    for (auto [rssi, bars] : cases) EXPECT_EQ(SignalBars::count(rssi), bars) << rssi.value_or(0);
}

TEST(SignalRamp, InterpolatesBetweenAnchorsAndClampsAtBothEnds) {
    const std::pair<std::optional<double>, double> cases[] = {{-40, 112},  {-53, 112}, {-57, 103},
                                                              {-75, 62},   {-88, 33.5}, {-120, 13},
                                                              {nan, 13},   {std::nullopt, 13}};
    for (auto [rssi, value] : cases) EXPECT_DOUBLE_EQ(SignalRamp::voiceSize().value(rssi), value) << rssi.value_or(0);
    EXPECT_DOUBLE_EQ(SignalRamp::ledgerWeight().value(-79), 540);
    EXPECT_DOUBLE_EQ(SignalRamp::ledgerWeight().value(-95), 220);
    EXPECT_DOUBLE_EQ(SignalRamp::voiceWeight().value(-91.5), 360);
    EXPECT_DOUBLE_EQ(SignalRamp::voiceWidth().value(-77), 91);
    EXPECT_DOUBLE_EQ(SignalRamp::voiceWidth().value(std::nullopt), 62);

    EXPECT_EQ(SignalRamp{}.value(-60), 0.0);
    SignalRamp single{{{-70, 5}}};
    EXPECT_EQ(single.value(-60), 5.0);
    EXPECT_EQ(single.value(-80), 5.0);
}

TEST(TypeFit, ShrinksWithTheWindowButNotBelowMinimum) {
    EXPECT_DOUBLE_EQ(TypeFit::voice(112, 475), 56);
    EXPECT_DOUBLE_EQ(TypeFit::voice(112, -10), 11);
    EXPECT_DOUBLE_EQ(TypeFit::voice(112, nan), 11);
    EXPECT_DOUBLE_EQ(TypeFit::ledger(104, 350), 52);
}

}  // namespace
}  // namespace quillmote
