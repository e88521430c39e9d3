#include "core/table/device_order.h"

#include <gtest/gtest.h>

#include "core/table/device_table.h"
#include "tests/support/sightings.h"

namespace quillmote {
namespace {

using test::lowEnergy;
using test::named;
using Field = DeviceOrder::Field;
using Keys = std::vector<std::string>;

const TextOrder english("en_US");

Keys sorted(const DeviceTable& table, Field field, SortDirection direction = SortDirection::forward) {
    DisplayOrder display;
    display.update(table, DeviceOrder{field, direction}, true, english);
    return display.keys;
}

TEST(DeviceOrder, RowsWithoutAValueGoLastForwardAndTiesToTheEarlierFirstSighting) {
    DeviceTable table;
    table.absorb(std::vector{lowEnergy("strong", 0, -50), lowEnergy("none", 1, std::nullopt), lowEnergy("weak", 2, -70),
                             lowEnergy("weakToo", 1.5, -70)});
    EXPECT_EQ(sorted(table, Field::signal), (Keys{"strong", "weakToo", "weak", "none"}));
    EXPECT_EQ(sorted(table, Field::signal, SortDirection::reverse), (Keys{"none", "weakToo", "weak", "strong"}));
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
    EXPECT_EQ(sorted(table, Field::maker).front(), "apple");
    EXPECT_EQ(sorted(table, Field::source).back(), "aa-bb");
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
