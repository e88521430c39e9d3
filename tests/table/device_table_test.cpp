#include "core/table/device_table.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/table/device_order.h"
#include "core/table/fingerprint.h"
#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::at;
using test::lowEnergy;
using test::named;
using Field = DeviceOrder::Field;
using Keys = std::vector<std::string>;

std::string key(int i) { return "LE-" + std::to_string(i); }

TEST(DeviceTable, RoutesSightingsToRowsAndLogsOnlyLowEnergy) {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("A", 0), lowEnergy("A", 0.1), test::paired("aa-bb", 1)});
    EXPECT_EQ(table.order(), (Keys{"A", "aa-bb"}));
    EXPECT_EQ(table.record("A")->packetCount, 2);
    EXPECT_EQ(table.packetLog().counts(), (std::unordered_map<std::string, std::size_t>{{"A", 2}}));
    EXPECT_EQ(table.unmatched(), std::set<std::string>{"A"});
}

TEST(DeviceTable, RowLimitEvictsTheLowEnergyRowsHeardLongestAgo) {
    DeviceTable table;
    std::vector<Sighting> batch{test::paired("aa-bb", -10)};  // paired rows are never evicted
    for (int i = 0; i < 1001; ++i) batch.push_back(lowEnergy(key(i), 100 - i * 0.01));  // row 1000 is oldest
    table.absorb(std::move(batch));
    EXPECT_EQ(table.records().size(), DeviceTable::maxRows);
    EXPECT_TRUE(table.record("aa-bb"));
    EXPECT_FALSE(table.record(key(999)));
    EXPECT_EQ(table.packetLog().total(), 999u);
}

TEST(DeviceTable, PacketLogTrimsPerDeviceAndOverall) {
    DeviceTable table;
    std::vector<Sighting> burst;
    for (int i = 0; i < 551; ++i) burst.push_back(lowEnergy("busy", i * 0.01));
    table.absorb(std::move(burst));
    EXPECT_EQ(table.packetLog().count("busy"), 500u);
    table.absorb(std::vector{lowEnergy("busy", 6)});
    EXPECT_EQ(table.packetLog().count("busy"), 501u);
    EXPECT_EQ(table.packetLog().packets("busy").back().time, at(6));  // the newest survive

    PacketLog log;
    for (int d = 0; d < 10; ++d)
        for (int i = 0; i < 500; ++i) log.append(lowEnergy(key(d), i));
    log.append(lowEnergy(key(3), 501));
    EXPECT_EQ(log.count(key(3)), 375u);
    EXPECT_EQ(log.total(), 4875u);
}

TEST(DeviceTable, RemovesLowEnergyRowsSilentForLongerThanAsked) {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("exact", 0), lowEnergy("older", -0.5), test::paired("aa-bb", -1000)});
    table.removeSilent(at(300), 300);  // exactly 300 s of silence is not longer
    EXPECT_EQ(table.order(), (Keys{"exact", "aa-bb"}));
    EXPECT_EQ(table.packetLog().total(), 1u);
}

// ---- Folding rotated addresses ----

Advertisement speaker(std::string name = "Kitchen speaker") {
    Advertisement ad = named(std::move(name));
    ad.manufacturerData = Bytes{0x75, 0x00, 0x42, 0x09};
    ad.serviceUUIDs = {"FE2C"};
    return ad;
}

// A table with an established "old" row (heard for 10 s) that last spoke at 100 s.
DeviceTable withOldSpeaker() {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("old", 90, -60, speaker()), lowEnergy("old", 100, -60, speaker())});
    return table;
}

TEST(DeviceTable, FoldsANewAddressOntoTheRowItRotatedFrom) {
    DeviceTable table = withOldSpeaker();
    table.absorb(std::vector{lowEnergy("new", 130, -62, speaker())});
    EXPECT_EQ(table.order(), Keys{"old"});
    for (const auto& packet : table.packetLog().packets("old")) EXPECT_EQ(packet.deviceKey, "old");
    table.absorb(std::vector{lowEnergy("new", 131, -61, speaker())});  // lands on the old row
    EXPECT_EQ(table.record("old")->lastSeen, at(131));

    // A second rotation folds onto the same first row; the first alias still points at it.
    table.absorb(std::vector{lowEnergy("third", 180, -61, speaker())});
    EXPECT_EQ(table.order(), Keys{"old"});
    EXPECT_EQ(table.aliases(), (std::unordered_map<std::string, std::string>{{"new", "old"}, {"third", "old"}}));
    EXPECT_EQ(table.record("old")->packetCount, 5);
    EXPECT_EQ(table.record("old")->identityChanges, 2);
    EXPECT_EQ(table.packetLog().counts(), (std::unordered_map<std::string, std::size_t>{{"old", 5}}));
}

TEST(DeviceTable, FoldsOnlyWithinTheMinuteAfterTheOldRowWentSilent) {
    for (auto [gap, folds] : {std::pair{60.0, true}, {61.0, false}, {-0.5, false}}) {
        DeviceTable table = withOldSpeaker();
        table.absorb(std::vector{lowEnergy("new", 100 + gap, -60, speaker())});
        EXPECT_EQ(table.records().size(), folds ? 1u : 2u) << "gap " << gap;
        if (folds) continue;
        // Unfolded, the key stays a candidate until heard for more than 5 s.
        EXPECT_TRUE(table.unmatched().contains("new"));
        table.absorb(std::vector{lowEnergy("new", 100 + gap + 6, -60, speaker())});
        EXPECT_FALSE(table.unmatched().contains("new"));
    }
}

// One device advertising `ad` every `interval` seconds from `from` until before `to`.
struct Advertiser {
    std::string key;
    double from, to, interval;
    Advertisement ad = speaker();
};

// The rows left when the advertisers are heard in the store's ticks of 0.125 s.
std::vector<DeviceRecord> rowsAfter(const std::vector<Advertiser>& advertisers) {
    std::vector<Sighting> heard;
    for (const auto& a : advertisers)
        for (double t = a.from; t < a.to; t += a.interval) heard.push_back(lowEnergy(a.key, t, -60, a.ad));
    std::stable_sort(heard.begin(), heard.end(), [](const Sighting& a, const Sighting& b) { return a.time < b.time; });
    DeviceTable table;
    auto next = heard.begin();
    for (int tick = 0; next != heard.end(); ++tick) {
        std::vector<Sighting> batch;
        for (; next != heard.end() && next->time <= at(tick * 0.125); ++next) batch.push_back(*next);
        table.absorb(std::move(batch), at(tick * 0.125));
    }
    return table.orderedRecords();
}

TEST(DeviceTable, FoldWaitsTwiceTheOldRowsPacketInterval) {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("old", 99, -60, speaker()), lowEnergy("old", 100, -60, speaker())}, at(100));
    table.absorb(std::vector{lowEnergy("new", 101, -60, speaker())}, at(101));
    EXPECT_EQ(table.records().size(), 2u);  // silent for 1 s of its 2 s: maybe a twin
    table.absorb(std::vector<Sighting>{}, at(102.5));
    EXPECT_EQ(table.order(), Keys{"old"});
}

TEST(DeviceTable, TwinsHeardTogetherStayApartWhileARotationFolds) {
    // A second identical speaker switched on while the first keeps playing.
    EXPECT_EQ(rowsAfter({{"first", 0, 30, 0.2}, {"second", 10.05, 30, 0.2}}).size(), 2u);
    // A phone changing its address every 20 s, the new one right after the old stops.
    const auto phone = rowsAfter({{"A", 0, 20, 0.25}, {"B", 20.05, 40, 0.25}, {"C", 40.05, 60, 0.25}});
    ASSERT_EQ(phone.size(), 1u);
    EXPECT_EQ(phone[0].identityChanges, 2);
}

TEST(DeviceTable, NeverFoldsAmbiguousOrNamelessMatches) {
    DeviceTable ambiguous;  // two established rows, both silent
    ambiguous.absorb(std::vector{lowEnergy("one", 90, -60, speaker()), lowEnergy("two", 91, -60, speaker()),
                                 lowEnergy("one", 100, -60, speaker()), lowEnergy("two", 101, -60, speaker())});
    ambiguous.absorb(std::vector{lowEnergy("new", 120, -60, speaker())});
    EXPECT_EQ(ambiguous.records().size(), 3u);

    Advertisement nameless = speaker();
    nameless.localName.reset();
    DeviceTable anonymous;
    anonymous.absorb(std::vector{lowEnergy("old", 100, -60, nameless)});
    anonymous.absorb(std::vector{lowEnergy("new", 110, -60, nameless)});
    EXPECT_EQ(anonymous.records().size(), 2u);
}

TEST(Fingerprint, ComparesWhatIdentifiesADeviceAcrossAddresses) {
    // Apple's first message type and model code.
    auto apple = [](std::uint8_t type, std::uint8_t modelHigh) {
        Advertisement ad;
        ad.manufacturerData = Bytes{0x4C, 0x00, type, 25, 0x01, modelHigh, 0x20};
        ad.manufacturerData->resize(4 + 25, 0x00);
        return Fingerprint(ad);
    };
    EXPECT_EQ(apple(0x07, 0x0E).modelCode, 0x0E20);
    EXPECT_NE(apple(0x07, 0x0E), apple(0x07, 0x14));
    EXPECT_NE(apple(0x07, 0x0E), apple(0x10, 0x0E));
}

// ---- Display order ----

const TextOrder english("en_US");

Keys sorted(const DeviceTable& table, Field field, SortDirection direction = SortDirection::forward) {
    DisplayOrder display;
    display.update(table, DeviceOrder{field, direction}, true, english);
    return display.keys;
}

TEST(DeviceOrder, RowsWithoutAValueGoLastForwardAndTiesToTheEarlierFirstSighting) {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("strong", 0, -50), lowEnergy("none", 1, std::nullopt), lowEnergy("weak", 2, -70),
                             lowEnergy("weakToo", 1.5, -70), lowEnergy("noneToo", 3, std::nullopt)});
    EXPECT_EQ(sorted(table, Field::signal), (Keys{"strong", "weakToo", "weak", "none", "noneToo"}));
    EXPECT_EQ(sorted(table, Field::signal, SortDirection::reverse),
              (Keys{"none", "noneToo", "weakToo", "weak", "strong"}));

    // By distance, a beacon's calibrated range comes before a nearer guess from the transmit power.
    Advertisement beacon;
    beacon.manufacturerData = Bytes{0x4C, 0x00, 0x02, 0x15};
    beacon.manufacturerData->resize(24, 0x11);
    beacon.manufacturerData->push_back(0xC5);  // -59 dBm at one metre
    Advertisement quiet;
    quiet.txPower = -40;
    DeviceTable ranged;
    ranged.absorb(std::vector{lowEnergy("guess", 0, -60, quiet), lowEnergy("beacon", 1, -80, beacon)});
    EXPECT_EQ(sorted(ranged, Field::distance), (Keys{"beacon", "guess"}));
}

TEST(DeviceOrder, TextColumnsCompareNumbersByValueAndPutMissingValuesLast) {
    DeviceTable names;
    names.absorb(std::vector{lowEnergy("ten", 0, -60, named("Sensor 10")), lowEnergy("two", 1, -60, named("sensor 2")),
                             lowEnergy("one", 2, -60, named("Sensor 1"))});
    EXPECT_EQ(sorted(names, Field::name), (Keys{"one", "two", "ten"}));
    EXPECT_EQ(sorted(names, Field::name, SortDirection::reverse), (Keys{"ten", "two", "one"}));

    DeviceTable table;
    Advertisement heartRate;
    heartRate.serviceUUIDs = {"180D"};
    Advertisement apple;
    apple.manufacturerData = Bytes{0x4C, 0x00};
    table.absorb(std::vector{lowEnergy("blank1", 0), lowEnergy("health", 1, -60, heartRate), lowEnergy("blank2", 2),
                             lowEnergy("apple", 3, -60, apple), test::paired("aa-bb", 4)});
    EXPECT_EQ(sorted(table, Field::kind), (Keys{"aa-bb", "health", "blank1", "blank2", "apple"}));
}

TEST(DeviceOrder, SnapshotSortsStayPutUntilResorted) {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("a", 0, -50), lowEnergy("b", 0.1, -70)});
    DisplayOrder display;
    const DeviceOrder bySignal{Field::signal, SortDirection::forward};
    display.update(table, bySignal, true, english);
    EXPECT_EQ(display.keys, (Keys{"a", "b"}));

    for (int i = 1; i <= 10; ++i) table.absorb(std::vector{lowEnergy("b", 0.1 + i, -40)});
    table.absorb(std::vector{lowEnergy("c", 12, -30)});
    display.update(table, bySignal, false, english);
    EXPECT_EQ(display.keys, (Keys{"a", "b", "c"}));  // b now strongest, still second
    display.update(table, bySignal, true, english);
    EXPECT_EQ(display.keys, (Keys{"c", "b", "a"}));
    table.removeSilent(test::at(12), 5);  // a goes
    display.update(table, bySignal, false, english);
    EXPECT_EQ(display.keys, (Keys{"c", "b"}));

    // A stable column re-sorts on every update, without asking; without a sort, creation order.
    table.absorb(std::vector{lowEnergy("0", 13, -90, named("Aardvark"))});
    display.update(table, DeviceOrder{Field::name, SortDirection::forward}, false, english);
    EXPECT_EQ(display.keys.front(), "0");
    display.update(table, std::nullopt, false, english);
    EXPECT_EQ(display.keys, (Keys{"b", "c", "0"}));
}

}  // namespace
}  // namespace quillmote
