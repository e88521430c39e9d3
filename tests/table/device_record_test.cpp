#include "core/table/device_record.h"

#include <gtest/gtest.h>

#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::at;
using test::lowEnergy;

TEST(DeviceRecord, IdentifiesAtOnceAndAgainOnlyWhenTheFactsChange) {
    Advertisement ad;
    ad.manufacturerData = Bytes{0x4C, 0x00, 0x10, 0x02, 0x0B, 0x0C};
    DeviceRecord record(lowEnergy("A", 0, std::nullopt, ad), false);
    EXPECT_EQ(record.identity.maker, "Apple");  // even without a signal
    EXPECT_FALSE(record.proximity());

    // Whether absorbing the sighting identified the row again.
    auto identifiesAgain = [&record](const Sighting& sighting) {
        record.identity = DeviceIdentity::unknown();
        record.identity.label = "marker";
        record.absorb(sighting);
        return record.identity.label != "marker";
    };
    EXPECT_FALSE(identifiesAgain(lowEnergy("A", 1, -61, ad)));  // same packet, other signal
    Advertisement more = ad;
    more.serviceData["180F"] = Bytes{0x64};
    EXPECT_TRUE(identifiesAgain(lowEnergy("A", 2, -61, more)));

    // A different remembered name or beacon counts; a range change does not.
    Sighting renamed = lowEnergy("A", 4, -61, ad);
    renamed.cachedName = "Lamp";
    EXPECT_TRUE(identifiesAgain(renamed));
    Sighting beacon = lowEnergy("A", 5);
    beacon.rangedBeacon = RangedBeacon::make(*Uuid::fromText("E2C56DB5-DFFB-48D2-B060-D0F5A71096E0"), 1, 2, 1.5);
    EXPECT_TRUE(identifiesAgain(beacon));
    beacon.rangedBeacon->metres = 3.0;
    EXPECT_FALSE(identifiesAgain(beacon));
    beacon.rangedBeacon->minor = 3;
    EXPECT_TRUE(identifiesAgain(beacon));
}

TEST(DeviceRecord, BroadcastRate) {
    DeviceRecord young(lowEnergy("A", 0), false);
    for (int i = 1; i < 6; ++i) young.absorb(lowEnergy("A", 0.3 * i));
    EXPECT_DOUBLE_EQ(*young.packetsPerSecond(at(2)), 3.0);  // 6 arrivals over 2 s

    DeviceRecord old(lowEnergy("A", 0), false);
    for (int i = 1; i <= 300; ++i) old.absorb(lowEnergy("A", 0.4 * i));  // 2.5 a second for two minutes
    EXPECT_NEAR(*old.packetsPerSecond(at(120)), 2.5, 0.11);
    EXPECT_LE(old.recentArrivals.size(), 51u);  // pruned, not kept for ever
    EXPECT_DOUBLE_EQ(*old.packetsPerSecond(at(500)), 0.0);

    EXPECT_FALSE(DeviceRecord(test::paired("aa-bb", 0), false).packetsPerSecond(at(1)));  // polled, not heard
}

TEST(DeviceRecord, FreshnessAndRecencyEdges) {
    DeviceRecord record(lowEnergy("A", 0), false);
    EXPECT_EQ(Freshness::of(record, at(30.0)), Freshness::live);
    EXPECT_EQ(Freshness::of(record, at(30.001)), Freshness::silent);
    EXPECT_EQ(Recency::of(record, at(10.0)), Recency::live);
    EXPECT_EQ(Recency::of(record, at(10.5)), Recency::fading);
    EXPECT_EQ(Recency::of(record, at(30.0)), Recency::fading);
    EXPECT_EQ(Recency::of(record, at(31)), Recency::gone);

    // A paired device is live while connected, whenever it was last heard.
    DeviceRecord unknownLink(test::paired("aa-bb", 0, std::nullopt), false);
    EXPECT_EQ(Freshness::of(unknownLink, at(0)), Freshness::silent);
    EXPECT_EQ(Recency::of(unknownLink, at(0)), Recency::gone);
    DeviceRecord connected(test::paired("aa-bb", 0, true), false);
    EXPECT_EQ(Freshness::of(connected, at(9999)), Freshness::live);
    EXPECT_EQ(Recency::of(connected, at(9999)), Recency::live);
}

TEST(DeviceRecord, NamesAndOlderSightingsOfANewIdentity) {
    DeviceRecord record(lowEnergy("A", 10), false);
    EXPECT_EQ(record.displayName(), record.identity.label);
    Sighting remembered = lowEnergy("A", 1);
    remembered.cachedName = "Remembered";
    record.absorb(remembered);
    EXPECT_EQ(record.displayName(), "Remembered");
    record.absorb(lowEnergy("A", 2, -60, test::named("Advertised")));
    EXPECT_EQ(record.displayName(), "Advertised");

    // Packets of the address it rotated from are older: they never move lastSeen back.
    record.adoptNewIdentity(std::vector{lowEnergy("B", 2), lowEnergy("B", 3)});
    EXPECT_EQ(record.lastSeen, at(10));
}

}  // namespace
}  // namespace quillmote
