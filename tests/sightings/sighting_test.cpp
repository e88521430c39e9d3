#include "core/sightings/sighting.h"

#include <gtest/gtest.h>

#include "core/sightings/hex.h"

namespace quillmote {
namespace {

Sighting withRSSI(std::optional<int> rssi) {
    return Sighting(SightingSource::lowEnergy, "AA:BB:CC:DD:EE:FF", Instant{}, rssi);
}

TEST(Sighting, KeepsOnlyPlausibleSignalStrengths) {
    for (int unavailable : {127, 0, 1, -121}) EXPECT_FALSE(withRSSI(unavailable).rssi) << unavailable;
    for (int heard : {-120, -1}) EXPECT_EQ(withRSSI(heard).rssi, heard);
    EXPECT_EQ(displayName(SightingSource::paired), "Paired");
}

TEST(Advertisement, MergeTakesNewerValuesAndKeepsWhatTheNewerLacks) {
    Advertisement merged, newer;
    merged.localName = "Kitchen";
    merged.serviceUUIDs = {"180F"};
    merged.serviceData = {{"FEAA", {0x00}}, {"180F", {0x64}}};
    newer.serviceUUIDs = {"FD6F"};
    newer.serviceData = {{"FEAA", {0x01}}, {"1234", {}}};
    newer.isConnectable = false;
    Advertisement expected = newer;
    expected.localName = "Kitchen";
    expected.serviceData["180F"] = {0x64};
    EXPECT_TRUE(merged.merge(newer));
    EXPECT_EQ(merged, expected);
    // Hearing the same again, or an empty advertisement, changes nothing; each kind of change is noticed alone.
    EXPECT_FALSE(merged.merge(newer));
    EXPECT_FALSE(merged.merge(Advertisement{}));
    Advertisement name, entry;
    name.localName = "Hall";
    entry.serviceData = {{"180F", {0x65}}};
    EXPECT_TRUE(merged.merge(name));
    EXPECT_TRUE(merged.merge(entry));
    EXPECT_TRUE(Advertisement{}.isEmpty());
    EXPECT_FALSE(entry.isEmpty());
}

TEST(RangedBeacon, CanonicalUuidsKeysDetailsAndOnlyPositiveDistances) {
    for (auto text : {"e2c56db5dffb48d2b060d0f5a71096e0", "e2c56db5-dffb-48d2-b060-d0f5a71096e",
                      "{e2c56db5-dffb-48d2-b060-d0f5a71096e0}", "e2c56db5-dffb-48d2-b060-d0f5a71096eg",
                      "e2c56db5-dffb-48d2-b060:d0f5a71096e0"})
        EXPECT_FALSE(Uuid::fromText(text)) << text;
    auto uuid = *Uuid::fromText("e2c56db5-dffb-48d2-b060-d0f5a71096e0");
    auto beacon = RangedBeacon::make(uuid, 1, 65535, -1.0);
    EXPECT_EQ(beacon.deviceKey(), "iBeacon-E2C56DB5-DFFB-48D2-B060-D0F5A71096E0-1-65535");
    EXPECT_EQ(beacon.detail(), "iBeacon E2C56DB5-DFFB-48D2-B060-D0F5A71096E0 \u00B7 major 1 \u00B7 minor 65535");
    EXPECT_FALSE(beacon.metres);
    EXPECT_FALSE(RangedBeacon::make(uuid, 1, 2, 0.0).metres);
    EXPECT_EQ(RangedBeacon::make(uuid, 1, 2, 2.5).metres, 2.5);
}

TEST(Hex, AccessorsStayInsideTheDataAndDigitsAreUpperCase) {
    const Bytes three{0x01, 0x02, 0x03};
    EXPECT_EQ(byteAt(three, 2), 0x03);
    EXPECT_FALSE(byteAt(three, 3));
    EXPECT_FALSE(byteAt(three, -1));
    EXPECT_EQ(uint16BigEndian(three, 1), 0x0203);
    EXPECT_FALSE(uint16BigEndian(three, 2));
    EXPECT_FALSE(uint16BigEndian(three, -1));

    EXPECT_EQ(byteAt(bytesFrom(three, 1), 0), 0x02);  // a slice counts from its own start
    EXPECT_EQ(bytesFrom(three, 1, 10).size(), 2u);
    EXPECT_TRUE(bytesFrom(three, 99, 1).empty());
    EXPECT_EQ(hexString(Bytes{}), "");
    EXPECT_EQ(hex4(0xFEAA), "FEAA");
    EXPECT_EQ(hex4(0x004C), "004C");
}

}  // namespace
}  // namespace quillmote
