#include "core/decoding/apple_continuity.h"

#include <gtest/gtest.h>

#include "core/decoding/manufacturer_data.h"

namespace quillmote {
namespace {

Bytes hex(std::string_view text) { return bytesFromHex(text).value(); }

// A proximity-pairing message whose value starts with `head`, zero-filled to `length`.
ContinuityMessage pairing(std::string_view head, std::size_t length = ProximityPairing::fullLength) {
    Bytes value = hex(head);
    value.resize(length, 0x00);
    return {0x07, value};
}

TEST(ManufacturerData, SplitsLittleEndianCompanyFromPayload) {
    EXPECT_EQ(ManufacturerData::from(std::optional(hex("06 00 01 09"))),
              (ManufacturerData{ManufacturerData::microsoft, {0x01, 0x09}}));
    EXPECT_EQ(ManufacturerData::from(ByteView(hex("00 4C"))), (ManufacturerData{0x4C00, {}}));
    EXPECT_FALSE(ManufacturerData::from(std::optional<Bytes>{}));
    EXPECT_FALSE(ManufacturerData::from(ByteView(hex("4C"))));
    EXPECT_EQ(ManufacturerData::from(ByteView(hex("4C 00")))->companyName(), "Apple, Inc.");
}

TEST(AppleContinuity, SplitsInOrderAndStopsAtTheFirstElementThatDoesNotFit) {
    std::vector<ContinuityMessage> three{{0x0C, {}}, {0x10, {0x05}}, {0x12, {0x00, 0x01}}};
    EXPECT_EQ(AppleContinuity::messages(hex("0C 00 10 01 05 12 02 00 01")), three);
    std::vector<ContinuityMessage> one{{0x10, {0x0B, 0x0C}}};
    EXPECT_EQ(AppleContinuity::messages(hex("10 02 0B 0C 07 19 01 01")), one);
    EXPECT_EQ(AppleContinuity::messages(hex("10 02 0B 0C 12")), one);
    EXPECT_TRUE(AppleContinuity::messages(hex("07 FF 00")).empty());

    for (std::uint8_t type : {0x01, 0x11, 0xFF})
        EXPECT_EQ((ContinuityMessage{type, {}}.kind()), ContinuityKind::unknown) << int(type);
    EXPECT_EQ((ContinuityMessage{0x12, {}}.kind()), ContinuityKind::findMy);
}

TEST(ProximityPairing, DecodesModelAndNibbleLevels) {
    auto pods = ProximityPairing::from(pairing("01 0E 20 00 5A F3"));
    EXPECT_EQ(pods, (ProximityPairing{0x0E20, {50, 100}, 30}));
    EXPECT_EQ(pods->modelName(), "AirPods Pro");
    // 10 is the last level and 0 a level; 11 to 15 are not.
    EXPECT_EQ(ProximityPairing::from(pairing("01 24 20 00 AB 00", 27)), (ProximityPairing{0x2420, {100, {}}, 0}));
    EXPECT_EQ(ProximityPairing::from(pairing("01 00 20 00 FF 0F")), (ProximityPairing{0x0020, {}, {}}));
    EXPECT_FALSE(ProximityPairing::from(pairing("01 00 20"))->modelName());

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
}

}  // namespace
}  // namespace quillmote
