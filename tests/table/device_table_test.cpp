#include "core/table/device_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "core/table/fingerprint.h"
#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::at;
using test::lowEnergy;

// The table's promises after every public operation.
void expectInvariants(const DeviceTable& table) {
    EXPECT_EQ(table.order().size(), table.records().size());
    for (const auto& key : table.order()) EXPECT_TRUE(table.record(key)) << key;
    std::size_t sum = 0;
    for (const auto& [key, count] : table.packetLog().counts()) {
        sum += count;
        EXPECT_LE(count, PacketLog::perDevice + PacketLog::perDeviceSlack);
        EXPECT_TRUE(table.record(key)) << "log without a row: " << key;
    }
    EXPECT_EQ(sum, table.packetLog().total());
    EXPECT_LE(table.packetLog().total(), PacketLog::overall);
    for (const auto& [old, rowKey] : table.aliases()) EXPECT_TRUE(table.record(rowKey)) << old << " → " << rowKey;
}

std::string key(int i) { return "LE-" + std::to_string(i); }

TEST(DeviceTable, RoutesSightingsToRowsAndLogsOnlyLowEnergy) {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("A", 0), lowEnergy("A", 0.1)});
    ASSERT_EQ(table.records().size(), 1u);
    EXPECT_EQ(table.record("A")->packetCount, 2);
    EXPECT_EQ(table.packetLog().count("A"), 2u);

    table.absorb(std::vector{test::paired("aa-bb", 1)});
    EXPECT_TRUE(table.record("aa-bb"));
    EXPECT_EQ(table.packetLog().count("aa-bb"), 0u);
    EXPECT_FALSE(table.unmatched().contains("aa-bb"));
    EXPECT_TRUE(table.unmatched().contains("A"));
    EXPECT_EQ(table.order(), (std::vector<std::string>{"A", "aa-bb"}));
    expectInvariants(table);
}

TEST(DeviceTable, RowLimitEvictsTheLowEnergyRowsHeardLongestAgo) {
    DeviceTable table;
    std::vector<Sighting> batch;
    for (int i = 0; i < 1001; ++i) batch.push_back(lowEnergy(key(i), 100 - i * 0.01));  // row 1000 is oldest
    table.absorb(std::move(batch));
    EXPECT_EQ(table.records().size(), DeviceTable::maxRows);
    EXPECT_FALSE(table.record(key(1000)));
    EXPECT_EQ(table.packetLog().count(key(1000)), 0u);
    EXPECT_FALSE(table.unmatched().contains(key(1000)));
    EXPECT_EQ(std::count(table.order().begin(), table.order().end(), key(1000)), 0);
    expectInvariants(table);

    DeviceTable crowded;
    std::vector<Sighting> polls;
    for (int i = 0; i < 1000; ++i) polls.push_back(test::paired("pr-" + std::to_string(i), 0));
    crowded.absorb(std::move(polls));
    std::vector<Sighting> heard;
    for (int i = 0; i < 5; ++i) heard.push_back(lowEnergy(key(i), 1));
    crowded.absorb(std::move(heard));
    EXPECT_EQ(crowded.records().size(), 1000u);  // paired rows are never evicted
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(crowded.record(key(i)));
    expectInvariants(crowded);
}

TEST(DeviceTable, PacketLogTrimsPerDeviceAndOverall) {
    DeviceTable table;
    std::vector<Sighting> burst;
    for (int i = 0; i < 551; ++i) burst.push_back(lowEnergy("busy", i * 0.01));
    table.absorb(std::move(burst));
    EXPECT_EQ(table.packetLog().count("busy"), 500u);
    table.absorb(std::vector{lowEnergy("busy", 6)});
    EXPECT_EQ(table.packetLog().count("busy"), 501u);
    auto kept = table.packetLog().packets("busy");
    EXPECT_EQ(kept.back().time, at(6));  // the newest survive

    PacketLog log;
    for (int d = 0; d < 10; ++d)
        for (int i = 0; i < 500; ++i) log.append(lowEnergy(key(d), i));
    EXPECT_EQ(log.total(), 5000u);
    log.append(lowEnergy(key(3), 501));
    EXPECT_EQ(log.count(key(3)), 375u);
    EXPECT_EQ(log.total(), 4875u);
}

TEST(DeviceTable, RemovesSilentAndUnpairedRows) {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("exact", 0), lowEnergy("older", -0.5), test::paired("aa-bb", -1000)});
    table.removeSilent(at(300), 300);
    EXPECT_TRUE(table.record("exact"));
    EXPECT_FALSE(table.record("older"));
    EXPECT_TRUE(table.record("aa-bb"));

    table.keepPaired({});
    EXPECT_FALSE(table.record("aa-bb"));
    EXPECT_TRUE(table.record("exact"));
    expectInvariants(table);
}

// ---- Folding rotated addresses ----

Advertisement speaker(std::string name = "Kitchen speaker") {
    Advertisement ad = test::named(std::move(name));
    ad.manufacturerData = Bytes{0x75, 0x00, 0x42, 0x09};
    ad.serviceUUIDs = {"FE2C"};
    return ad;
}

TEST(DeviceTable, FoldsANewAddressOntoTheRowItRotatedFrom) {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("old", 90, -60, speaker()), lowEnergy("old", 100, -60, speaker())});
    table.absorb(std::vector{lowEnergy("new", 130, -62, speaker())});
    ASSERT_EQ(table.records().size(), 1u);
    const DeviceRecord* row = table.record("old");
    EXPECT_EQ(row->identityChanges, 1);
    EXPECT_EQ(row->packetCount, 3);
    EXPECT_EQ(table.aliases().at("new"), "old");
    EXPECT_EQ(table.packetLog().count("old"), 3u);
    for (const auto& packet : table.packetLog().packets("old")) EXPECT_EQ(packet.deviceKey, "old");

    // Later packets of the new address land on the old row.
    table.absorb(std::vector{lowEnergy("new", 131, -61, speaker())});
    EXPECT_EQ(table.record("old")->packetCount, 4);
    EXPECT_EQ(table.record("old")->lastSeen, at(131));

    // A second rotation folds onto the same first row; the first alias still points at it.
    table.absorb(std::vector{lowEnergy("third", 180, -61, speaker())});
    EXPECT_EQ(table.records().size(), 1u);
    EXPECT_EQ(table.aliases().at("third"), "old");
    EXPECT_EQ(table.aliases().at("new"), "old");
    EXPECT_EQ(table.record("old")->identityChanges, 2);
    expectInvariants(table);
}

TEST(DeviceTable, FoldsOnlyWithinTheMinuteAfterTheOldRowWentSilent) {
    for (auto [gap, folds] : {std::pair{60.0, true}, {61.0, false}, {-0.5, false}}) {
        DeviceTable table;
        // The old row is established (heard for 10 s), so only the new one is examined.
        table.absorb(std::vector{lowEnergy("old", 90, -60, speaker()), lowEnergy("old", 100, -60, speaker())});
        table.absorb(std::vector{lowEnergy("new", 100 + gap, -60, speaker())});
        EXPECT_EQ(table.records().size(), folds ? 1u : 2u) << "gap " << gap;
        if (folds) continue;
        // Unfolded, the key stays a candidate until heard for more than 5 s.
        EXPECT_TRUE(table.unmatched().contains("new"));
        table.absorb(std::vector{lowEnergy("new", 100 + gap + 6, -60, speaker())});
        EXPECT_FALSE(table.unmatched().contains("new"));
        expectInvariants(table);
    }
}

// One device advertising `ad` every `interval` seconds over [from, to).
void advertise(std::vector<Sighting>& into, const std::string& key, double from, double to, double interval,
               const Advertisement& ad) {
    for (double t = from; t < to; t += interval) into.push_back(lowEnergy(key, t, -60, ad));
}

// Feeds the sightings in the store's ticks of 0.125 s, each batch taken in at its tick.
void play(DeviceTable& table, std::vector<Sighting> sightings) {
    std::stable_sort(sightings.begin(), sightings.end(), [](const Sighting& a, const Sighting& b) { return a.time < b.time; });
    auto next = sightings.begin();
    for (int tick = 0; next != sightings.end(); ++tick) {
        const Instant now = at(tick * 0.125);
        std::vector<Sighting> batch;
        for (; next != sightings.end() && next->time <= now; ++next) batch.push_back(*next);
        table.absorb(std::move(batch), now);
    }
}

TEST(DeviceTable, TwinsHeardTogetherStayApartWhileARotationFolds) {
    Advertisement thermometer = test::named("Thermo");
    thermometer.serviceData["181A"] = Bytes{0x01, 0x02};
    struct Case {
        const char* what;
        std::vector<Sighting> heard;
        std::size_t rows;
        int identityChanges;  // of the first row
    };
    std::vector<Case> cases(3);
    // Four identical thermometers switched on 2.5 s apart, all advertising for a minute.
    cases[0] = {"thermometers", {}, 4, 0};
    for (int i = 0; i < 4; ++i) advertise(cases[0].heard, key(i), i * 2.5, 60, 1.0, thermometer);
    // A second identical speaker switched on while the first keeps playing.
    cases[1] = {"speakers", {}, 2, 0};
    advertise(cases[1].heard, "first", 0, 30, 0.2, speaker());
    advertise(cases[1].heard, "second", 10.05, 30, 0.2, speaker());
    // A phone changing its address every 20 s, the new one right after the old stops.
    cases[2] = {"rotation", {}, 1, 2};
    advertise(cases[2].heard, "A", 0, 20, 0.25, speaker("Phone"));
    advertise(cases[2].heard, "B", 20.05, 40, 0.25, speaker("Phone"));
    advertise(cases[2].heard, "C", 40.05, 60, 0.25, speaker("Phone"));

    for (auto& c : cases) {
        DeviceTable table;
        play(table, std::move(c.heard));
        EXPECT_EQ(table.records().size(), c.rows) << c.what;
        EXPECT_EQ(table.orderedRecords().front().identityChanges, c.identityChanges) << c.what;
        expectInvariants(table);
    }
}

TEST(DeviceTable, NeverFoldsAmbiguousNamelessOrPairedMatches) {
    DeviceTable ambiguous;
    // Both heard long enough to be established rows, then silent.
    ambiguous.absorb(std::vector{lowEnergy("one", 90, -60, speaker()), lowEnergy("two", 91, -60, speaker()),
                                 lowEnergy("one", 100, -60, speaker()), lowEnergy("two", 101, -60, speaker())});
    ambiguous.absorb(std::vector{lowEnergy("new", 120, -60, speaker())});
    EXPECT_EQ(ambiguous.records().size(), 3u);

    // Only a remembered name: never folded.
    Advertisement nameless = speaker();
    nameless.localName.reset();
    DeviceTable remembered;
    Sighting old = lowEnergy("old", 100, -60, nameless);
    old.cachedName = "Kitchen speaker";
    Sighting fresh = lowEnergy("new", 110, -60, nameless);
    fresh.cachedName = "Kitchen speaker";
    remembered.absorb(std::vector{old});
    remembered.absorb(std::vector{fresh});
    EXPECT_EQ(remembered.records().size(), 2u);

    // A paired row of the same name is no candidate.
    DeviceTable mixed;
    Sighting poll = test::paired("aa-bb", 100);
    poll.advertisement = speaker();
    mixed.absorb(std::vector{poll});
    mixed.absorb(std::vector{lowEnergy("new", 110, -60, speaker())});
    EXPECT_EQ(mixed.records().size(), 2u);
}

TEST(Fingerprint, ComparesWhatIdentifiesADeviceAcrossAddresses) {
    Advertisement base = speaker();
    Advertisement extraService = base;
    extraService.serviceUUIDs.push_back("180F");
    EXPECT_NE(Fingerprint(base), Fingerprint(extraService));

    Advertisement asData = base;
    asData.serviceUUIDs.clear();
    asData.serviceData["FE2C"] = Bytes{0x01};
    EXPECT_EQ(Fingerprint(base), Fingerprint(asData));

    auto apple = [](std::uint8_t type, std::uint8_t modelHigh) {
        Advertisement ad;
        Bytes data{0x4C, 0x00, type, 25, 0x01, modelHigh, 0x20};
        data.resize(4 + 25, 0x00);
        ad.manufacturerData = data;
        return ad;
    };
    Fingerprint pods(apple(0x07, 0x0E));
    EXPECT_EQ(pods.continuityType, 0x07);
    EXPECT_EQ(pods.modelCode, 0x0E20);
    EXPECT_NE(pods, Fingerprint(apple(0x07, 0x14)));  // another model
    EXPECT_NE(pods, Fingerprint(apple(0x10, 0x0E)));  // another first message
}

}  // namespace
}  // namespace quillmote
