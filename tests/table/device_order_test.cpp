#include "core/table/device_order.h"

#include <gtest/gtest.h>

#include "core/table/device_table.h"
#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::lowEnergy;
using Field = DeviceOrder::Field;

const TextOrder english("en_US");

std::vector<std::string> sorted(const DeviceTable& table, Field field, SortDirection direction) {
    DisplayOrder display;
    display.update(table, DeviceOrder{field, direction}, true, english);
    return display.keys;
}

TEST(DeviceOrder, SignalSortPutsRowsWithoutSignalLastGoingForward) {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("strong", 0, -50), lowEnergy("none", 1, std::nullopt), lowEnergy("weak", 2, -70)});
    EXPECT_EQ(sorted(table, Field::signal, SortDirection::forward), (std::vector<std::string>{"strong", "weak", "none"}));
    EXPECT_EQ(sorted(table, Field::signal, SortDirection::reverse), (std::vector<std::string>{"none", "weak", "strong"}));
}

TEST(DeviceOrder, TiesGoToTheEarlierFirstSightingInBothDirections) {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("later", 5, -60), lowEnergy("earlier", 1, -60)});
    EXPECT_EQ(sorted(table, Field::signal, SortDirection::forward), (std::vector<std::string>{"earlier", "later"}));
    EXPECT_EQ(sorted(table, Field::signal, SortDirection::reverse), (std::vector<std::string>{"earlier", "later"}));
}

TEST(DeviceOrder, SnapshotSortsStayPutUntilResorted) {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("a", 0, -50), lowEnergy("b", 0.1, -70)});
    DisplayOrder display;
    const DeviceOrder bySignal{Field::signal, SortDirection::forward};
    display.update(table, bySignal, true, english);
    EXPECT_EQ(display.keys, (std::vector<std::string>{"a", "b"}));

    for (int i = 1; i <= 10; ++i) table.absorb(std::vector{lowEnergy("b", 0.1 + i, -40)});
    table.absorb(std::vector{lowEnergy("c", 12, -30)});
    display.update(table, bySignal, false, english);
    EXPECT_EQ(display.keys, (std::vector<std::string>{"a", "b", "c"}));  // b now strongest, still second
    display.update(table, bySignal, true, english);
    EXPECT_EQ(display.keys, (std::vector<std::string>{"c", "b", "a"}));

    table.removeSilent(test::at(12), 5);  // a goes
    display.update(table, bySignal, false, english);
    EXPECT_EQ(display.keys, (std::vector<std::string>{"c", "b"}));

    // A stable column re-sorts on every update, without asking.
    display.update(table, DeviceOrder{Field::name, SortDirection::forward}, false, english);
    EXPECT_EQ(display.keys.size(), 2u);
    table.absorb(std::vector{lowEnergy("0", 13, -90, test::named("Aardvark"))});
    display.update(table, DeviceOrder{Field::name, SortDirection::forward}, false, english);
    EXPECT_EQ(display.keys.front(), "0");
}

TEST(DeviceOrder, NamesCompareNumbersByValue) {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("ten", 0, -60, test::named("Sensor 10")), lowEnergy("two", 1, -60, test::named("sensor 2")),
                             lowEnergy("one", 2, -60, test::named("Sensor 1"))});
    EXPECT_EQ(sorted(table, Field::name, SortDirection::forward), (std::vector<std::string>{"one", "two", "ten"}));
}

TEST(DeviceOrder, UnknownKindsAndMissingMakersSortLast) {
    DeviceTable table;
    Advertisement heartRate;
    heartRate.serviceUUIDs = {"180D"};
    Advertisement apple;
    apple.manufacturerData = Bytes{0x4C, 0x00};
    table.absorb(std::vector{lowEnergy("blank1", 0), lowEnergy("health", 1, -60, heartRate), lowEnergy("blank2", 2),
                             lowEnergy("apple", 3, -60, apple), test::paired("aa-bb", 4)});
    auto byKind = sorted(table, Field::kind, SortDirection::forward);
    EXPECT_EQ(byKind, (std::vector<std::string>{"aa-bb", "health", "blank1", "blank2", "apple"}));
    auto byMaker = sorted(table, Field::maker, SortDirection::forward);
    EXPECT_EQ(byMaker.front(), "apple");
    auto bySource = sorted(table, Field::source, SortDirection::forward);
    EXPECT_EQ(bySource.back(), "aa-bb");
}

TEST(DeviceOrder, NoSortKeepsCreationOrderAndEmptyTablesStayEmpty) {
    DeviceTable empty;
    for (auto field : {Field::signal, Field::distance, Field::rate, Field::name, Field::maker, Field::kind, Field::source})
        EXPECT_TRUE(sorted(empty, field, SortDirection::forward).empty());
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("z", 0, -90), lowEnergy("a", 1, -30)});
    DisplayOrder display;
    display.update(table, std::nullopt, false, english);
    EXPECT_EQ(display.keys, (std::vector<std::string>{"z", "a"}));
}

}  // namespace
}  // namespace quillmote

namespace quillmote {
namespace {

// Text columns sort by precomputed keys; the order must be the one the pairwise
// comparison gives, ties and all.
TEST(DeviceOrder, KeyedTextSortsAgreeWithThePairwiseOrder) {
    const std::vector<std::string> names = {"Sensor 10", "sensor 2", "Sensor 1", "Éclair", "eclair", "Zebra", "zebra",
                                            "Ångström", "", "10", "9", "Keys\xFF", "Keys", "数字", "Sensor 2", "a b", "ab"};
    DeviceTable table;
    std::vector<Sighting> sightings;
    for (std::size_t i = 0; i < names.size(); ++i) {
        // Pairs of rows share a first sighting, so the id decides some ties.
        const double at = static_cast<double>(i / 2);
        Advertisement ad;
        if (!names[i].empty()) ad.localName = names[i];
        if (i % 3 == 0) ad.manufacturerData = Bytes{static_cast<std::uint8_t>(i % 2 ? 0x4C : 0x06), 0x00};
        sightings.push_back(lowEnergy("K" + std::to_string(names.size() - i), at, -60, ad));
    }
    sightings.push_back(test::paired("aa-bb", 1));
    table.absorb(std::move(sightings));

    for (auto field : {Field::name, Field::maker, Field::kind, Field::source})
        for (auto direction : {SortDirection::forward, SortDirection::reverse}) {
            const DeviceOrder order{field, direction};
            std::vector<const DeviceRecord*> rows;
            for (const auto& key : table.order()) rows.push_back(table.record(key));
            std::stable_sort(rows.begin(), rows.end(), [&](const DeviceRecord* a, const DeviceRecord* b) {
                return order.compare(*a, *b, english) < 0;
            });
            std::vector<std::string> expected;
            for (const auto* row : rows) expected.push_back(row->id);
            EXPECT_EQ(sorted(table, field, direction), expected) << static_cast<int>(field);
        }
}

}  // namespace
}  // namespace quillmote
