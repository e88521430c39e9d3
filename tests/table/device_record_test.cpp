#include "core/table/device_record.h"

#include <gtest/gtest.h>

#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::at;
using test::lowEnergy;

// A marker identity: if it survives an absorb, identification did not run.
DeviceIdentity marker() {
    DeviceIdentity identity;
    identity.kind = DeviceKind::tv;
    identity.label = "marker";
    return identity;
}

TEST(DeviceRecord, FirstSightingWithoutSignalIsIdentifiedAtOnce) {
    Advertisement ad;
    ad.manufacturerData = Bytes{0x4C, 0x00, 0x10, 0x02, 0x0B, 0x0C};
    DeviceRecord record(lowEnergy("A", 0, std::nullopt, ad), false);
    EXPECT_EQ(record.packetCount, 1);
    EXPECT_FALSE(record.rssi());
    EXPECT_FALSE(record.proximity());
    EXPECT_FALSE(record.lastRawRSSI);
    EXPECT_EQ(record.identity.maker, "Apple");
    EXPECT_EQ(record.firstSeen, record.lastSeen);
}

TEST(DeviceRecord, IdentifiesAgainOnlyWhenTheFactsChange) {
    Advertisement ad = test::named("Desk lamp");
    DeviceRecord record(lowEnergy("A", 0, -60, ad), false);

    record.identity = marker();
    record.absorb(lowEnergy("A", 1, -61, ad));  // same packet, other signal
    EXPECT_EQ(record.identity, marker());

    Advertisement more = ad;
    more.serviceData["180F"] = Bytes{0x64};
    record.absorb(lowEnergy("A", 2, -61, more));
    EXPECT_NE(record.identity, marker());
    EXPECT_EQ(record.packetCount, 3);

    // A different remembered name or class counts; a connection or battery change does not.
    record.identity = marker();
    Sighting battery = lowEnergy("A", 3, -61, ad);
    battery.batteryPercent = 40;
    battery.isConnected = true;
    record.absorb(battery);
    EXPECT_EQ(record.identity, marker());
    EXPECT_EQ(record.batteryPercent, 40);
    Sighting renamed = lowEnergy("A", 4, -61, ad);
    renamed.cachedName = "Lamp";
    record.absorb(renamed);
    EXPECT_NE(record.identity, marker());
}

TEST(DeviceRecord, AnotherBeaconMinorIdentifiesAgain) {
    auto uuid = *Uuid::fromText("E2C56DB5-DFFB-48D2-B060-D0F5A71096E0");
    Sighting first = lowEnergy("iBeacon", 0);
    first.rangedBeacon = RangedBeacon::make(uuid, 1, 2, 1.5);
    DeviceRecord record(first, false);

    record.identity = marker();
    Sighting same = first;
    same.rangedBeacon->metres = 3.0;  // only the range moved
    record.absorb(same);
    EXPECT_EQ(record.identity, marker());
    EXPECT_EQ(record.distance()->lower, 3.0);

    Sighting otherMinor = first;
    otherMinor.rangedBeacon->minor = 3;
    record.absorb(otherMinor);
    EXPECT_NE(record.identity, marker());
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

    DeviceRecord pairedRow(test::paired("aa-bb", 0), false);
    EXPECT_FALSE(pairedRow.packetsPerSecond(at(1)));
    Sighting beacon = lowEnergy("B", 0);
    beacon.rangedBeacon = RangedBeacon::make(Uuid{}, 1, 1, 2.0);
    EXPECT_FALSE(DeviceRecord(beacon, false).packetsPerSecond(at(1)));
}

TEST(DeviceRecord, FreshnessAndRecencyEdges) {
    DeviceRecord record(lowEnergy("A", 0), false);
    EXPECT_EQ(Freshness::of(record, at(30.0)), Freshness::live);
    EXPECT_EQ(Freshness::of(record, at(30.001)), Freshness::silent);
    EXPECT_EQ(Recency::of(record, at(10.0)), Recency::live);
    EXPECT_EQ(Recency::of(record, at(10.5)), Recency::fading);
    EXPECT_EQ(Recency::of(record, at(31)), Recency::gone);

    DeviceRecord unknownLink(test::paired("aa-bb", 0, std::nullopt), false);
    EXPECT_EQ(Freshness::of(unknownLink, at(0)), Freshness::silent);
    EXPECT_EQ(Recency::of(unknownLink, at(0)), Recency::gone);
    DeviceRecord connected(test::paired("aa-bb", 0, true), false);
    EXPECT_EQ(Freshness::of(connected, at(9999)), Freshness::live);
    EXPECT_EQ(Recency::of(connected, at(9999)), Recency::live);
}

TEST(DeviceRecord, DisplayNamePrefersTheAdvertisedName) {
    DeviceRecord record(lowEnergy("A", 0), false);
    EXPECT_EQ(record.displayName(), record.identity.label);
    EXPECT_FALSE(record.hasOwnName());
    Sighting remembered = lowEnergy("A", 1);
    remembered.cachedName = "Remembered";
    record.absorb(remembered);
    EXPECT_EQ(record.displayName(), "Remembered");
    record.absorb(lowEnergy("A", 2, -60, test::named("Advertised")));
    EXPECT_EQ(record.displayName(), "Advertised");
    EXPECT_TRUE(record.hasOwnName());
}

TEST(DeviceRecord, AdoptingOlderSightingsKeepsLastSeen) {
    DeviceRecord record(lowEnergy("A", 10), false);
    record.adoptNewIdentity(std::vector{lowEnergy("B", 2), lowEnergy("B", 3)});
    EXPECT_EQ(record.lastSeen, at(10));
    EXPECT_EQ(record.packetCount, 3);
    EXPECT_EQ(record.identityChanges, 1);
    record.adoptNewIdentity({});
    EXPECT_EQ(record.identityChanges, 2);
}

TEST(DeviceRecord, SignalFeedsSmootherTrackerAndHistory) {
    DeviceRecord record(lowEnergy("A", 0, -50), false);
    EXPECT_EQ(record.rssi(), -50.0);
    EXPECT_EQ(record.proximity(), Proximity::near);
    record.absorb(lowEnergy("A", 0.5, std::nullopt));  // no signal: nothing moves
    EXPECT_EQ(record.lastRawRSSI, -50);
    EXPECT_EQ(record.history.points.size(), 1u);
    record.absorb(lowEnergy("A", 5, -90));
    EXPECT_EQ(record.lastRawRSSI, -90);
    EXPECT_EQ(record.history.points.size(), 2u);
    EXPECT_LT(*record.rssi(), -80.0);
}

}  // namespace
}  // namespace quillmote
