#include "core/decoding/apple_continuity.h"

#include <gtest/gtest.h>

namespace quillmote {
namespace {

Bytes hex(std::string_view text) { return bytesFromHex(text).value(); }

// A proximity-pairing message whose value starts with `head`, zero-filled to `length`.
ContinuityMessage pairing(std::string_view head, std::size_t length = ProximityPairing::fullLength) {
    Bytes value = hex(head);
    value.resize(length, 0x00);
    return {0x07, value};
}

TEST(ContinuityKind, ListedTypesReadAsTheirKindOthersAsUnknown) {
    for (ContinuityKind kind : allContinuityKinds)
        EXPECT_EQ((ContinuityMessage{static_cast<std::uint8_t>(kind), {}}.kind()), kind);
    for (std::uint8_t type : {0x00, 0x01, 0x04, 0x11, 0x13, 0xFE, 0xFF})
        EXPECT_EQ(displayName(ContinuityMessage{type, {}}.kind()), "Unknown") << int(type);
    EXPECT_EQ(displayName(ContinuityKind::nearbyInfo), "Nearby Info");
    EXPECT_EQ(displayName(ContinuityKind::tetheringTarget), "Instant Hotspot target");
}

TEST(AppleContinuity, SplitsInOrderAndStopsAtTheFirstElementThatDoesNotFit) {
    std::vector<ContinuityMessage> one{{0x10, {0x0B, 0x0C}}};
    EXPECT_EQ(AppleContinuity::messages(hex("10 02 0B 0C")), one);
    Bytes truncated = hex("10 02 0B 0C 07 19");
    truncated.resize(truncated.size() + 24, 0x01);
    EXPECT_EQ(AppleContinuity::messages(truncated), one);
    EXPECT_EQ(AppleContinuity::messages(hex("10 02 0B 0C 12")), one);

    std::vector<ContinuityMessage> three{{0x0C, {}}, {0x10, {0x05}}, {0x12, {0x00, 0x01}}};
    EXPECT_EQ(AppleContinuity::messages(hex("0C 00 10 01 05 12 02 00 01")), three);
    EXPECT_TRUE(AppleContinuity::messages({}).empty());
    EXPECT_TRUE(AppleContinuity::messages(hex("07 FF 00")).empty());
}

TEST(ProximityPairing, DecodesModelAndNibbleLevels) {
    auto pods = ProximityPairing::from(pairing("01 0E 20 00 5A F3"));
    ASSERT_TRUE(pods);
    EXPECT_EQ(pods->modelName(), "AirPods Pro");
    EXPECT_EQ(pods->budBatteries, (std::array<std::optional<int>, 2>{50, 100}));
    EXPECT_EQ(pods->caseBattery, 30);

    // 10 is the last level and 0 a level; 11 to 15 are not.
    auto edges = ProximityPairing::from(pairing("01 24 20 00 AB 00", 27));
    ASSERT_TRUE(edges);
    EXPECT_EQ(edges->modelName(), "AirPods Pro (2nd gen, USB-C)");
    EXPECT_EQ(edges->budBatteries, (std::array<std::optional<int>, 2>{100, std::nullopt}));
    EXPECT_EQ(edges->caseBattery, 0);
    EXPECT_EQ(ProximityPairing::from(pairing("01 0E 20 00 FF 0F"))->budBatteries,
              (std::array<std::optional<int>, 2>{}));
    EXPECT_FALSE(ProximityPairing::from(pairing("01 0E 20 00 FF 0F"))->caseBattery);

    auto unlisted = ProximityPairing::from(pairing("01 00 20"));
    ASSERT_TRUE(unlisted);
    EXPECT_EQ(unlisted->modelCode, 0x0020);
    EXPECT_FALSE(unlisted->modelName());
}

TEST(ProximityPairing, RejectsShortValuesWrongPrefixAndOtherTypes) {
    EXPECT_FALSE(ProximityPairing::from(pairing("01 0E 20", 24)));
    EXPECT_FALSE(ProximityPairing::from(pairing("00 0E 20")));
    EXPECT_FALSE(ProximityPairing::from(ContinuityMessage{0x10, pairing("01 0E 20").value}));
}

TEST(FindMy, StatusBitsFourAndFiveChooseTheDevice) {
    auto device = [](Bytes value, std::uint8_t type = 0x12) { return findMyDeviceFrom({type, std::move(value)}); };
    EXPECT_FALSE(device({}));
    EXPECT_FALSE(device({0x10}, 0x10));
    EXPECT_EQ(device({0x10}), FindMyDevice::airTag);
    EXPECT_EQ(device({0x34}), FindMyDevice::airPods);
    EXPECT_EQ(device({0xC0}), FindMyDevice::appleDevice);
    EXPECT_EQ(device({0xEF, 0x00}), FindMyDevice::accessoryOrAirPods);
    EXPECT_EQ(label(FindMyDevice::accessoryOrAirPods), "AirPods or Find My accessory");
}

}  // namespace
}  // namespace quillmote
