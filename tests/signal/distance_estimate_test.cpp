#include "core/signal/distance_estimate.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/decoding/beacons.h"

namespace quillmote {
namespace {

using DistanceEstimate::estimate;
using DistanceEstimate::label;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

Bytes hex(std::string_view text) { return bytesFromHex(text).value(); }

// Apple manufacturer data holding one iBeacon message with the given measured power.
Bytes appleIBeacon(std::string_view power, std::string_view before = "") {
    return hex(std::string("4C 00 ") + std::string(before) +
               " 02 15 E2C56DB5DFFB48D2B060D0F5A71096E0 00 01 00 02 " + std::string(power));
}

Advertisement withTxPower(int power) {
    Advertisement ad;
    ad.txPower = power;
    return ad;
}

Advertisement withEddystone(std::string_view frame, std::optional<int> txPower = std::nullopt) {
    Advertisement ad;
    ad.serviceData["FEAA"] = hex(frame);
    ad.txPower = txPower;
    return ad;
}

TEST(DistanceEstimate, EddystoneRangingByteOnlyFromUidAndUrlFrames) {
    EXPECT_EQ(Eddystone::transmitPowerAtAntenna(hex("10 EC 03 61 62 63 00")), -20);
    EXPECT_EQ(Eddystone::transmitPowerAtAntenna(hex("00 05")), 5);
    EXPECT_EQ(Eddystone::transmitPowerAtAntenna(hex("00 80")), -128);
    EXPECT_FALSE(Eddystone::transmitPowerAtAntenna(hex("10")));
    EXPECT_FALSE(Eddystone::transmitPowerAtAntenna(hex("")));
    EXPECT_FALSE(Eddystone::transmitPowerAtAntenna(hex("20 EC 00 00")));
    EXPECT_FALSE(Eddystone::transmitPowerAtAntenna(hex("01 EC")));
    EXPECT_FALSE(Eddystone::transmitPowerAtAntenna(hex("11 EC")));
}

TEST(DistanceEstimate, RangeBetweenPathLossExponents) {
    Advertisement beacon;
    beacon.manufacturerData = appleIBeacon("C5");  // −59 dBm at one metre
    auto far = estimate(-79.0, beacon);
    ASSERT_TRUE(far);
    EXPECT_NEAR(far->lower, 4.6416, 1e-4);
    EXPECT_NEAR(far->upper, 10.0, 1e-9);
    EXPECT_TRUE(far->isCalibrated);
    EXPECT_EQ(far->label(), "5\u201310 m");

    // Stronger than at one metre: the exponent-2 bound becomes the lower one.
    auto close = estimate(-39.0, beacon);
    ASSERT_TRUE(close);
    EXPECT_NEAR(close->lower, 0.1, 1e-9);
    EXPECT_NEAR(close->upper, 0.2154, 1e-4);
    EXPECT_EQ(close->label(), "< 1 m");

    auto same = estimate(-59.0, beacon);
    ASSERT_TRUE(same);
    EXPECT_EQ(*same, (DistanceEstimate::Estimate{1.0, 1.0, true}));
    EXPECT_EQ(same->label(), "\u2248 1 m");

    EXPECT_FALSE(estimate(std::nullopt, beacon));
    EXPECT_FALSE(estimate(nan, beacon));
    EXPECT_FALSE(estimate(-60.0, Advertisement{}));
}

TEST(DistanceEstimate, StrengthAtOneMetreRulesInOrder) {
    // Transmit power 4 dBm: −37 at one metre, not calibrated.
    auto claimed = estimate(-57.0, withTxPower(4));
    ASSERT_TRUE(claimed);
    EXPECT_NEAR(claimed->upper, 10.0, 1e-9);
    EXPECT_FALSE(claimed->isCalibrated);
    EXPECT_EQ(claimed->label(), "5\u201310 m?");

    // Eddystone URL with ranging byte −20: −61 at one metre, calibrated, ahead of tx power.
    auto url = estimate(-81.0, withEddystone("10 EC 03 61 62 63 00", 4));
    ASSERT_TRUE(url);
    EXPECT_NEAR(url->upper, 10.0, 1e-9);
    EXPECT_TRUE(url->isCalibrated);

    // A telemetry frame has no ranging byte: on to the transmit power.
    auto telemetry = estimate(-57.0, withEddystone("20 00 0B B8 00 00 00 00 00 00 00 00 00 00", 4));
    ASSERT_TRUE(telemetry);
    EXPECT_NEAR(telemetry->upper, 10.0, 1e-9);
    EXPECT_FALSE(telemetry->isCalibrated);
    EXPECT_FALSE(estimate(-57.0, withEddystone("20 00 0B B8")));

    // iBeacon comes first, found behind another Continuity message.
    Advertisement everything = withEddystone("10 EC 03 61 62 63 00", 4);
    everything.manufacturerData = appleIBeacon("C5", "10 02 0B 0C");
    auto ibeacon = estimate(-79.0, everything);
    ASSERT_TRUE(ibeacon);
    EXPECT_NEAR(ibeacon->upper, 10.0, 1e-9);
    EXPECT_TRUE(ibeacon->isCalibrated);

    // Apple data without an iBeacon, or an iBeacon layout under another company,
    // does not count.
    Advertisement notABeacon = withEddystone("00 EC", 4);
    notABeacon.manufacturerData = hex("4C 00 10 02 0B 0C");
    auto uid = estimate(-81.0, notABeacon);
    ASSERT_TRUE(uid);
    EXPECT_NEAR(uid->upper, 10.0, 1e-9);
    EXPECT_TRUE(uid->isCalibrated);
    Advertisement otherCompany = withTxPower(4);
    otherCompany.manufacturerData = appleIBeacon("C5");
    otherCompany.manufacturerData->at(0) = 0x06;
    auto fallback = estimate(-57.0, otherCompany);
    ASSERT_TRUE(fallback);
    EXPECT_FALSE(fallback->isCalibrated);
}

TEST(DistanceEstimate, RangedBeaconUsesItsOwnDistance) {
    RangedBeacon beacon{Uuid{}, 1, 2, 2.4};
    auto ranged = estimate(beacon);
    ASSERT_TRUE(ranged);
    EXPECT_EQ(*ranged, (DistanceEstimate::Estimate{2.4, 2.4, true}));
    EXPECT_EQ(ranged->label(), "\u2248 2 m");

    beacon.metres.reset();
    EXPECT_FALSE(estimate(beacon));
    beacon.metres = nan;
    EXPECT_FALSE(estimate(beacon));
    // A file may keep the ranging source's -1 for "unknown": no distance, not "< 1 m".
    beacon.metres = -1.0;
    EXPECT_FALSE(estimate(beacon));
    beacon.metres = 0.0;
    EXPECT_FALSE(estimate(beacon));
}

TEST(DistanceEstimate, LabelsInWholeMetres) {
    EXPECT_EQ(label(0.4, 0.9), "< 1 m");
    EXPECT_EQ(label(0.6, 1.4), "\u2248 1 m");
    EXPECT_EQ(label(0.2, 1.0), "\u2248 1 m");
    EXPECT_EQ(label(51, 90), "> 50 m");
    EXPECT_EQ(label(50, 90), "\u2248 50 m");
    EXPECT_EQ(label(30.2, 60), "30\u201350 m");
    EXPECT_EQ(label(4.64, 10), "5\u201310 m");
    // Halves round away from zero.
    EXPECT_EQ(label(1.5, 2.5), "2\u20133 m");
    EXPECT_EQ(label(2.5, 3.49), "\u2248 3 m");
    EXPECT_EQ(label(0.3, std::numeric_limits<double>::infinity()), "1\u201350 m");

    EXPECT_EQ((DistanceEstimate::Estimate{2.6, 3.2, false}).label(), "\u2248 3 m?");
    EXPECT_EQ((DistanceEstimate::Estimate{60, 80, false}).label(), "> 50 m?");
    EXPECT_EQ((DistanceEstimate::Estimate{60, 80, true}).label(), "> 50 m");
}

}  // namespace
}  // namespace quillmote
