#include "core/decoding/beacons.h"

#include <gtest/gtest.h>

namespace quillmote {
namespace {

constexpr std::string_view beaconUUID = "E2C56DB5-DFFB-48D2-B060-D0F5A71096E0";

Bytes hex(std::string_view text) { return bytesFromHex(text).value(); }

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

TEST(Eddystone, OtherFrameTypes) {
    auto label = [](std::uint8_t type) {
        auto decoded = Eddystone::fromServiceData(Bytes{type});
        return decoded ? decoded->label() : "<none>";
    };
    EXPECT_EQ(label(0x20), "Eddystone beacon (telemetry)");
    EXPECT_EQ(label(0x30), "Eddystone beacon (encrypted ID)");
    EXPECT_EQ(label(0x41), "Find My Device tracker (Google network)");
    EXPECT_EQ(label(0x50), "<none>");
    EXPECT_FALSE(Eddystone::fromServiceData({}));
}

TEST(BeaconID, FindsTheFirstCanonicalUuidAnywhere) {
    EXPECT_EQ(BeaconID::extract("beacon e2c56db5-dffb-48d2-b060-d0f5a71096e0 in the hall")->text(), beaconUUID);
    EXPECT_EQ(BeaconID::extract("x11111111-2222-3333-4444-555555555555" + std::string(beaconUUID))->text(),
              "11111111-2222-3333-4444-555555555555");
    // A candidate failing late must not hide a match starting inside it; the text may end with the match.
    EXPECT_EQ(BeaconID::extract("0" + std::string(beaconUUID))->text(), beaconUUID);
    EXPECT_FALSE(BeaconID::extract(beaconUUID.substr(0, 35)));
    EXPECT_FALSE(BeaconID::extract(std::string(beaconUUID.substr(0, 35)) + " 1"));
    EXPECT_FALSE(BeaconID::extract("E2C56DB5DFFB-48D2-B060-D0F5A71096E0ABC"));
}

}  // namespace
}  // namespace quillmote
