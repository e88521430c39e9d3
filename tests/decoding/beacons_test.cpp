#include "core/decoding/beacons.h"

#include <gtest/gtest.h>

namespace quillmote {
namespace {

constexpr std::string_view beaconUUID = "E2C56DB5-DFFB-48D2-B060-D0F5A71096E0";

Bytes hex(std::string_view text) { return bytesFromHex(text).value(); }

// A proximity-pairing message whose value starts with `head`, zero-filled to `length`.
ContinuityMessage pairing(std::string_view head, std::size_t length = ProximityPairing::fullLength) {
    Bytes value = hex(head);
    value.resize(length, 0x00);
    return {0x07, value};
}

// An Eddystone URL frame: `head` bytes, then the ASCII text, then the `tail` bytes.
Bytes urlFrame(Bytes head, std::string_view ascii, const Bytes& tail = {}) {
    head.insert(head.end(), ascii.begin(), ascii.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::optional<std::string> url(const Bytes& frame) {
    auto decoded = Eddystone::fromServiceData(frame);
    if (!decoded || decoded->frame != Eddystone::Frame::url) return std::nullopt;
    return decoded->url;
}

TEST(AppleContinuity, SplitsInOrderAndStopsAtTheFirstElementThatDoesNotFit) {
    std::vector<ContinuityMessage> three{{0x0C, {}}, {0x10, {0x05}}, {0x12, {0x00, 0x01}}};
    EXPECT_EQ(AppleContinuity::messages(hex("0C 00 10 01 05 12 02 00 01")), three);
    std::vector<ContinuityMessage> one{{0x10, {0x0B, 0x0C}}};
    EXPECT_EQ(AppleContinuity::messages(hex("10 02 0B 0C 07 19 01 01")), one);
    EXPECT_EQ(AppleContinuity::messages(hex("10 02 0B 0C 12")), one);
    EXPECT_TRUE(AppleContinuity::messages(hex("07 FF 00")).empty());
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
    EXPECT_EQ(findMyDeviceFrom({0x12, {0x34}}), FindMyDevice::airPods);
    EXPECT_EQ(findMyDeviceFrom({0x12, {0xC0}}), FindMyDevice::appleDevice);
    EXPECT_FALSE(findMyDeviceFrom({0x10, {0x10}}));
}

TEST(IBeacon, DecodesUuidBigEndianNumbersAndSignedPower) {
    auto iBeacon = [](std::string_view afterUUID, std::uint8_t type = 0x02) {
        return IBeacon::from({type, hex(std::string(beaconUUID) + std::string(afterUUID))});
    };
    EXPECT_EQ(iBeacon("00 01 01 00 C5"), (IBeacon{*Uuid::fromText(beaconUUID), 1, 256, -59}));
    EXPECT_EQ(iBeacon("00 00 00 00 05 AA")->measuredPower, 5);
    EXPECT_FALSE(iBeacon("00 01 00 02"));
    EXPECT_FALSE(iBeacon("00 01 00 02 C5", 0x12));
}

TEST(Eddystone, UidNeedsEighteenBytesAndOnlyUidAndUrlFramesCarryRanging) {
    Bytes uid = hex("00 EE 01 02 03 04 05 06 07 08 09 0A B1 B2 B3 B4 B5 B6");
    auto decoded = Eddystone::fromServiceData(uid);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->namespaceID, hex("01 02 03 04 05 06 07 08 09 0A"));
    EXPECT_EQ(decoded->instance, hex("B1 B2 B3 B4 B5 B6"));
    EXPECT_EQ(Eddystone::fromServiceData(urlFrame(uid, "", {0xFF, 0xFF})), decoded);
    uid.pop_back();
    EXPECT_FALSE(Eddystone::fromServiceData(uid));

    EXPECT_EQ(Eddystone::transmitPowerAtAntenna(hex("10 EC 03 61 62 63 00")), -20);
    EXPECT_EQ(Eddystone::transmitPowerAtAntenna(hex("00 05")), 5);
    for (auto frame : {"10", "20 EC 00 00", "01 EC", "11 EC"})
        EXPECT_FALSE(Eddystone::transmitPowerAtAntenna(hex(frame))) << frame;
}

TEST(Eddystone, UrlExpandsCodesAndRejectsReservedBytesWhole) {
    EXPECT_EQ(Eddystone::fromServiceData(urlFrame({0x10, 0xEB, 0x03}, "abc", {0x00}))->label(),
              "Eddystone beacon \u2192 https://abc.com/");
    EXPECT_EQ(url({0x10, 0x00, 0x00}), "http://www.");
    EXPECT_EQ(url(urlFrame({0x10, 0x00, 0x02}, "x", {0x06, 0x07, 0x0D})), "http://x.gov/.com.gov");
    EXPECT_EQ(url(urlFrame({0x10, 0x00, 0x03}, "!~")), "https://!~");
    EXPECT_FALSE(url({0x10, 0x00, 0x04}));
    EXPECT_FALSE(url({0x10, 0x00}));
    for (std::uint8_t reserved : {0x0E, 0x20, 0x7F, 0xFF})
        EXPECT_FALSE(url(urlFrame({0x10, 0x00, 0x02}, "ab", {reserved, 'c'}))) << int(reserved);
}

TEST(BeaconID, FindsTheFirstCanonicalUuidAnywhere) {
    // Only hex digits count: a label of the same shape does not hide the identifier after it.
    EXPECT_EQ(BeaconID::extract("kitchen1-door-west-side-beacon000001 e2c56db5-dffb-48d2-b060-d0f5a71096e0")->text(),
              beaconUUID);
    EXPECT_EQ(BeaconID::extract("x11111111-2222-3333-4444-555555555555" + std::string(beaconUUID))->text(),
              "11111111-2222-3333-4444-555555555555");
    // A candidate failing late must not hide a match starting inside it; the text may end with the match.
    EXPECT_EQ(BeaconID::extract("0" + std::string(beaconUUID))->text(), beaconUUID);
    EXPECT_FALSE(BeaconID::extract("E2C56DB5DFFB-48D2-B060-D0F5A71096E0ABC"));
}

}  // namespace
}  // namespace quillmote
