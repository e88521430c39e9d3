#include "core/signal/proximity.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/signal/distance_estimate.h"
#include "core/signal/signal_bars.h"
#include "core/signal/signal_ramp.h"

namespace quillmote {
namespace {

using DistanceEstimate::estimate;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

Bytes hex(std::string_view text) { return bytesFromHex(text).value(); }

// An advertisement with the given manufacturer data, Eddystone frame and transmit power, each when not empty.
Advertisement advertisement(std::string_view manufacturer, std::string_view eddystone = "",
                            std::optional<int> txPower = std::nullopt) {
    Advertisement ad;
    if (!manufacturer.empty()) ad.manufacturerData = hex(manufacturer);
    if (!eddystone.empty()) ad.serviceData["FEAA"] = hex(eddystone);
    ad.txPower = txPower;
    return ad;
}

// Apple manufacturer data holding one iBeacon message measuring −59 dBm at one metre.
const std::string iBeacon = "4C 00 02 15 E2C56DB5DFFB48D2B060D0F5A71096E0 0001 0002 C5";

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
}

TEST(TypeFit, ShrinksWithTheWindowButNotBelowMinimum) {
    EXPECT_DOUBLE_EQ(TypeFit::voice(112, 475), 56);
    EXPECT_DOUBLE_EQ(TypeFit::voice(112, nan), 11);
    EXPECT_DOUBLE_EQ(TypeFit::ledger(104, 350), 52);
}

TEST(DistanceEstimate, RangeBetweenPathLossExponents) {
    const Advertisement beacon = advertisement(iBeacon);
    auto far = estimate(-79.0, beacon).value();
    EXPECT_NEAR(far.lower, 4.6416, 1e-4);
    EXPECT_NEAR(far.upper, 10.0, 1e-9);
    // Stronger than at one metre: the exponent-2 bound becomes the lower one.
    auto close = estimate(-39.0, beacon).value();
    EXPECT_NEAR(close.lower, 0.1, 1e-9);
    EXPECT_NEAR(close.upper, 0.2154, 1e-4);
    EXPECT_EQ(estimate(-59.0, beacon), (DistanceEstimate::Estimate{1.0, 1.0, true}));

    EXPECT_FALSE(estimate(std::nullopt, beacon));
    EXPECT_FALSE(estimate(nan, beacon));
}

TEST(DistanceEstimate, StrengthAtOneMetreRulesInOrder) {
    // Each case is 20 dB below its one-metre strength, so 10 m at exponent 2.
    const struct {
        double rssi;
        Advertisement ad;
        bool isCalibrated;
    } cases[] = {
        {-57, advertisement("", "", 4), false},                        // transmit power 4 dBm − 41 dB
        {-81, advertisement("", "10 EC 03 61 62 63 00", 4), true},      // Eddystone ranging −20 dBm − 41 dB
        {-57, advertisement("", "20 00 0B B8", 4), false},             // telemetry carries no ranging byte
        {-79, advertisement("4C 00 10 02 0B 0C" + iBeacon.substr(5), "10 EC", 4), true},  // iBeacon first
        {-81, advertisement("4C 00 10 02 0B 0C", "00 EC", 4), true},    // Apple data without an iBeacon
        {-57, advertisement("06" + iBeacon.substr(2), "", 4), false},  // an iBeacon layout under another company
    };
    for (const auto& c : cases) {
        auto found = estimate(c.rssi, c.ad).value();
        EXPECT_NEAR(found.upper, 10.0, 1e-9) << c.rssi;
        EXPECT_EQ(found.isCalibrated, c.isCalibrated) << c.rssi;
    }
    EXPECT_FALSE(estimate(-57.0, advertisement("", "20 00 0B B8")));
}

TEST(DistanceEstimate, RangedBeaconUsesItsOwnDistance) {
    RangedBeacon beacon{Uuid{}, 1, 2, 2.4};
    EXPECT_EQ(estimate(beacon), (DistanceEstimate::Estimate{2.4, 2.4, true}));
    // A file may keep the ranging source's -1 for "unknown": no distance, not "< 1 m".
    for (auto metres : {std::optional<double>(), std::optional(nan), std::optional(-1.0), std::optional(0.0)}) {
        beacon.metres = metres;
        EXPECT_FALSE(estimate(beacon));
    }
}

TEST(DistanceEstimate, LabelsInWholeMetres) {
    const std::tuple<double, double, std::string> cases[] = {
        {0.4, 0.9, "< 1 m"},       {0.6, 1.4, "\u2248 1 m"},      {0.2, 1.0, "\u2248 1 m"},
        {51, 90, "> 50 m"},        {50, 90, "\u2248 50 m"},       {30.2, 60, "30\u201350 m"},
        {1.5, 2.5, "2\u20133 m"},  // halves round away from zero
        {2.5, 3.49, "\u2248 3 m"}, {0.3, std::numeric_limits<double>::infinity(), "1\u201350 m"},
    };
    for (const auto& [lower, upper, text] : cases) EXPECT_EQ(DistanceEstimate::label(lower, upper), text) << lower;

    EXPECT_EQ((DistanceEstimate::Estimate{2.6, 3.2, false}).label(), "\u2248 3 m?");
    EXPECT_EQ((DistanceEstimate::Estimate{60, 80, true}).label(), "> 50 m");
}

}  // namespace
}  // namespace quillmote
