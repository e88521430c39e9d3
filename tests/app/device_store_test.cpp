#include "app/device_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/sightings/fixture.h"
#include "tests/support/app_setup.h"
#include "tests/support/private_bus.h"
#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::waitUntil;

const QString sample = QUILLMOTE_TEST_DATA "/sample-capture.json";

TEST(DeviceStore, ReplaysPublishesFiltersAndFinds) {
    test::TestStore replay({"-replayPath", sample});
    DeviceStore& store = replay.store;
    int publishes = 0;
    QObject::connect(&store, &DeviceStore::devicesChanged, [&] { ++publishes; });
    store.start();
    store.start();  // a second start does nothing
    EXPECT_EQ(store.status(), BluetoothStatus::ready);
    EXPECT_GE(publishes, 1);  // the first tick publishes
    ASSERT_TRUE(waitUntil([&] { return store.devices().size() == 4; }));

    // A maker's name in another case, with spaces around it, finds that maker's rows.
    store.setSearchText(QStringLiteral("  aPPLE\t"));
    auto apple = store.visibleDevices();
    ASSERT_EQ(apple.size(), 2u);
    for (const auto& row : apple) EXPECT_EQ(row.identity.maker, "Apple");
    store.setSearchText(QStringLiteral("applex "));  // trimming takes the space, not the x
    EXPECT_TRUE(store.visibleDevices().empty());
    store.setSearchText(QStringLiteral("e7-11"));  // part of a paired row's key
    ASSERT_EQ(store.visibleDevices().size(), 1u);
    EXPECT_EQ(store.visibleDevices()[0].id, "a4-83-e7-11-22-33");

    store.setSearchText({});
    store.setHideUnidentified(true);
    EXPECT_EQ(store.visibleDevices().size(), 4u);  // every sample row is identified or named

    EXPECT_EQ(store.record(std::string("a4-83-e7-11-22-33"))->cachedName, "Sam's Keyboard");
    EXPECT_EQ(store.clearableCount(), 0);
    store.setSelectedKey(std::string("a4-83-e7-11-22-33"));
    EXPECT_EQ(store.selectedKey(), "a4-83-e7-11-22-33");

    // Finding needs a row; ending it silences the clicks.
    store.startFinding("not-a-device");
    EXPECT_FALSE(store.findSession());
    store.startFinding("5C:3A:91:0E:22:7B");
    ASSERT_TRUE(store.findSession());
    store.endFinding();
    EXPECT_FALSE(store.findSession());
    EXPECT_EQ(store.clicks().rate(), 0.0);

    // Setting the same sort order again still re-sorts and publishes.
    store.setSortOrder({DeviceOrder{DeviceOrder::Field::name, SortDirection::forward}});
    const int before = publishes;
    store.setSortOrder(store.sortOrder());
    EXPECT_EQ(publishes, before + 1);
}

TEST(DeviceStore, TheWallClockSetBackOrForwardLeavesTheLiveStateHonest) {
    // A device advertising ten times a second throughout, and one heard only at the start.
    std::vector<Sighting> capture;
    for (int i = 0; i < 100; ++i) capture.push_back(test::lowEnergy("steady", i * 0.1));
    for (int i = 0; i < 5; ++i) capture.push_back(test::lowEnergy("brief", i * 0.1));
    test::TempDir files;
    double offset = 0;  // seconds the test has set the wall clock by
    DeviceStore::Clock clock = DeviceStore::Clock::system();
    clock.wall = [&offset, real = clock.wall] { return real() + durationOf(offset); };
    const auto path = files.write("capture.json", Fixture::encode(capture));
    test::TestStore replay({"-replayPath", QString::fromStdString(path.string())}, clock);
    DeviceStore& store = replay.store;
    int publishes = 0;
    QObject::connect(&store, &DeviceStore::devicesChanged, [&] { ++publishes; });
    store.start();
    auto row = [&](const char* key) { return *store.record(std::string(key)); };
    auto afterTwoPublishes = [&] {
        const int from = publishes;
        return waitUntil([&] { return publishes >= from + 2; });
    };
    ASSERT_TRUE(waitUntil([&] {
        return store.record(std::string("steady")) && row("steady").packetsPerSecond(store.publishedAt()) >= 9;
    }));

    offset = -600;  // back ten minutes: as if nothing happened
    ASSERT_TRUE(afterTwoPublishes());
    EXPECT_NEAR(*row("steady").packetsPerSecond(store.publishedAt()), 10, 3);
    EXPECT_LE(row("steady").lastSeen, store.publishedAt());

    offset = 600;  // forward twenty minutes, as after a sleep: what was heard before is gone
    ASSERT_TRUE(afterTwoPublishes());
    EXPECT_EQ(Recency::of(row("brief"), store.publishedAt()), Recency::gone);
    EXPECT_EQ(Freshness::of(row("steady"), store.publishedAt()), Freshness::live);  // replay goes on
}

TEST(DeviceStore, AnUnusableReplayStopsBeforeAnythingStarts) {
    test::TempDir files;
    auto bad = files.write("bad.json", "[{\"source\": \"LE\"}]");
    test::TestStore replay({"-replayPath", QString::fromStdString(bad.string())});
    EXPECT_THAT([&] { replay.store.start(); }, testing::ThrowsMessage<CaptureLaunchError>(testing::StrEq(
        "-replayPath " + bad.string() + " couldn't be read as a capture: sighting 1: missing key \"deviceKey\"")));
    EXPECT_EQ(replay.store.status(), BluetoothStatus::starting);
}

}  // namespace
}  // namespace quillmote
