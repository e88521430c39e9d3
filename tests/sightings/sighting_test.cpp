#include "core/sightings/sighting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "core/sightings/sighting_buffer.h"

namespace quillmote {
namespace {

Sighting withRSSI(std::optional<int> rssi) {
    return Sighting(SightingSource::lowEnergy, "AA:BB:CC:DD:EE:FF", Instant{}, rssi);
}

TEST(Sighting, KeepsOnlyPlausibleSignalStrengths) {
    for (int unavailable : {127, 0, 1, -121, -500}) EXPECT_FALSE(withRSSI(unavailable).rssi) << unavailable;
    for (int heard : {-120, -1, -67}) EXPECT_EQ(withRSSI(heard).rssi, heard);
    EXPECT_FALSE(withRSSI(std::nullopt).rssi);
}

TEST(Sighting, SourceRawValuesAndNames) {
    EXPECT_EQ(rawValue(SightingSource::lowEnergy), "LE");
    EXPECT_EQ(rawValue(SightingSource::paired), "PR");
    EXPECT_EQ(displayName(SightingSource::lowEnergy), "Low energy");
    EXPECT_EQ(displayName(SightingSource::paired), "Paired");
    for (auto source : allSightingSources) EXPECT_EQ(sightingSourceFromRaw(rawValue(source)), source);
    EXPECT_FALSE(sightingSourceFromRaw("le"));
    EXPECT_FALSE(sightingSourceFromRaw(""));
}

TEST(Advertisement, MergeTakesNewerValuesAndKeepsWhatTheNewerLacks) {
    Advertisement older;
    older.localName = "Kitchen";
    older.txPower = -4;
    older.serviceUUIDs = {"180F", "FEAA"};
    older.overflowServiceUUIDs = {"1234"};
    older.serviceData = {{"FEAA", {0x00}}, {"180F", {0x64}}};
    older.otherFields = {{"a", "1"}};

    Advertisement empty;
    Advertisement merged = older;
    EXPECT_FALSE(merged.merge(empty));
    EXPECT_EQ(merged, older);
    EXPECT_FALSE(merged.merge(older));  // hearing the same again changes nothing

    Advertisement newer;
    newer.serviceUUIDs = {"FD6F"};
    newer.serviceData = {{"FEAA", {0x01}}};
    newer.otherFields = {{"b", "2"}};
    newer.isConnectable = false;
    newer.manufacturerData = Bytes{0x4C, 0x00};
    EXPECT_TRUE(merged.merge(newer));
    EXPECT_EQ(merged.localName, "Kitchen");
    EXPECT_EQ(merged.txPower, -4);
    EXPECT_EQ(merged.serviceUUIDs, std::vector<std::string>{"FD6F"});
    EXPECT_EQ(merged.overflowServiceUUIDs, std::vector<std::string>{"1234"});
    EXPECT_EQ(merged.serviceData, (std::map<std::string, Bytes>{{"FEAA", {0x01}}, {"180F", {0x64}}}));
    EXPECT_EQ(merged.otherFields, (std::map<std::string, std::string>{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(merged.isConnectable, false);
    EXPECT_EQ(merged.manufacturerData, (Bytes{0x4C, 0x00}));
    EXPECT_FALSE(merged.merge(newer));

    // Each kind of change is noticed on its own.
    Advertisement oneEntry;
    oneEntry.serviceData = {{"180F", {0x65}}};
    EXPECT_TRUE(merged.merge(oneEntry));
    Advertisement otherName;
    otherName.localName = "Hall";
    EXPECT_TRUE(merged.merge(otherName));
    Advertisement sameUUIDs;
    sameUUIDs.serviceUUIDs = {"FD6F"};
    EXPECT_FALSE(merged.merge(sameUUIDs));
}

TEST(Advertisement, IsEmptyOnlyWhenEveryFieldIsEmpty) {
    EXPECT_TRUE(Advertisement{}.isEmpty());
    Advertisement notConnectable;
    notConnectable.isConnectable = false;
    EXPECT_FALSE(notConnectable.isEmpty());
    Advertisement emptyName;
    emptyName.localName = "";
    EXPECT_FALSE(emptyName.isEmpty());
}

TEST(RangedBeacon, KeyDetailAndDistanceRule) {
    auto uuid = *Uuid::fromText("e2c56db5-dffb-48d2-b060-d0f5a71096e0");
    auto beacon = RangedBeacon::make(uuid, 1, 65535, -1.0);
    EXPECT_FALSE(beacon.metres);
    EXPECT_FALSE(RangedBeacon::make(uuid, 1, 2, 0.0).metres);
    EXPECT_EQ(RangedBeacon::make(uuid, 1, 2, 2.5).metres, 2.5);
    EXPECT_EQ(beacon.deviceKey(), "iBeacon-E2C56DB5-DFFB-48D2-B060-D0F5A71096E0-1-65535");
    EXPECT_EQ(beacon.detail(), "iBeacon E2C56DB5-DFFB-48D2-B060-D0F5A71096E0 \u00B7 major 1 \u00B7 minor 65535");
}

TEST(Uuid, ReadsOnlyTheCanonicalForm) {
    auto uuid = Uuid::fromText("e2c56db5-dffb-48d2-b060-d0f5a71096e0");
    ASSERT_TRUE(uuid);
    EXPECT_EQ(uuid->bytes[0], 0xE2);
    EXPECT_EQ(uuid->bytes[15], 0xE0);
    EXPECT_EQ(Uuid::fromText(uuid->text()), uuid);
    for (auto text : {"e2c56db5dffb48d2b060d0f5a71096e0", "e2c56db5-dffb-48d2-b060-d0f5a71096e", "{e2c56db5-dffb-48d2-b060-d0f5a71096e0}",
                      "e2c56db5-dffb-48d2-b060-d0f5a71096eg", "e2c56db5-dffb-48d2-b060:d0f5a71096e0"})
        EXPECT_FALSE(Uuid::fromText(text)) << text;
}

TEST(SightingBuffer, DrainsEverythingOnceInArrivalOrder) {
    SightingBuffer buffer;
    EXPECT_TRUE(buffer.drain().empty());
    buffer.append(withRSSI(-50));
    buffer.append(withRSSI(-60));
    auto first = buffer.drain();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].rssi, -50);
    EXPECT_EQ(first[1].rssi, -60);
    EXPECT_TRUE(buffer.drain().empty());

    // A reused vector's storage goes back to the buffer, so steady state allocates nothing.
    std::vector<Sighting> reused;
    reused.reserve(64);
    auto* storage = reused.data();
    buffer.drain(reused);
    buffer.append(withRSSI(-70));
    std::vector<Sighting> next;
    buffer.drain(next);
    EXPECT_EQ(next.data(), storage);
}

TEST(SightingBuffer, LosesNothingBetweenThreads) {
    SightingBuffer buffer;
    constexpr int perThread = 5000;
    std::atomic<int> finished{0};
    std::vector<std::thread> radios;
    for (int t = 0; t < 3; ++t)
        radios.emplace_back([&buffer, &finished, t] {
            for (int i = 0; i < perThread; ++i)
                buffer.append(Sighting(SightingSource::lowEnergy, std::to_string(t * perThread + i), Instant{}, -50));
            ++finished;
        });
    std::set<std::string> seen;
    std::vector<Sighting> batch;
    auto collect = [&] {
        buffer.drain(batch);
        for (const auto& s : batch) EXPECT_TRUE(seen.insert(s.deviceKey).second) << "twice: " << s.deviceKey;
    };
    while (finished < 3) collect();  // drains race the appends
    for (auto& radio : radios) radio.join();
    collect();
    EXPECT_EQ(seen.size(), 3u * perThread);
}

}  // namespace
}  // namespace quillmote
