#include "core/decoding/assigned_numbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/decoding/class_of_device.h"

namespace quillmote {
namespace {

using namespace AssignedNumbers;

TEST(AssignedNumbers, ShortUUIDsOnlyFromTheBaseUUID) {
    EXPECT_EQ(shortUUID("180f"), "180F");
    EXPECT_EQ(shortUUID("0000180f-0000-1000-8000-00805f9b34fb"), "180F");
    EXPECT_FALSE(shortUUID("0000180F-0000-1000-8000-00805F9B34FC"));
    EXPECT_FALSE(shortUUID("1000180F-0000-1000-8000-00805F9B34FB"));
    EXPECT_EQ(serviceName("0000180F-0000-1000-8000-00805F9B34FB"), "Battery");
}

// The embedded text must come through whole: one entry per row of the source files.
TEST(AssignedNumbers, TablesHoldEveryRowOfTheirSourceFiles) {
    auto rows = [](const char* file) {
        std::ifstream in(std::filesystem::path(QUILLMOTE_TEST_DATA).parent_path().parent_path() / "data" / file);
        return static_cast<std::size_t>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
    };
    EXPECT_EQ(companies().size(), rows("company_identifiers.tsv"));
    EXPECT_EQ(services().size(), rows("service_uuids.tsv"));
    EXPECT_EQ(companyName(0x0225), "Nestl\u00E9 Nespresso S.A.");  // UTF-8 names pass whole
    EXPECT_FALSE(companyName(0xFFFF));
}

TEST(AssignedNumbers, ParseSkipsMalformedLinesAndKeepsTheLastDuplicate) {
    std::function<std::optional<std::string_view>(std::string_view)> fourCharacters =
        [](std::string_view piece) { return piece.size() == 4 ? std::optional(piece) : std::nullopt; };
    auto table = parse<std::string_view>(
        "\n\nAAAA\tFirst\nBBBB\n\tOrphan\nCCCC\t\nDDDDD\tLong\nEEEE\tName\twith tab\nAAAA\tSecond\n\nFFFF\tLast",
        fourCharacters);
    EXPECT_EQ(table, (std::unordered_map<std::string_view, std::string_view>{
                         {"AAAA", "Second"}, {"EEEE", "Name\twith tab"}, {"FFFF", "Last"}}));
}

// One row per rule of the major and minor classes, with the edges of each name table.
TEST(ClassOfDevice, KindAndDescriptionByMajorAndMinor) {
    const struct {
        std::uint32_t raw;
        DeviceKind kind;
        const char* description;
    } cases[] = {
        {0xFF5A020F, DeviceKind::phone, "Phone \u00B7 Smartphone"},  // service-class and format bits are ignored
        {0x000218, DeviceKind::phone, "Phone"},                      // past the last phone minor
        {0x00011C, DeviceKind::tablet, "Computer \u00B7 Tablet"},
        {0x000120, DeviceKind::computer, "Computer"},                // past the last computer minor
        {0x000418, DeviceKind::earbuds, "Audio / video \u00B7 Headphones"},
        {0x00040C, DeviceKind::speaker, "Audio / video"},            // an unnamed minor
        {0x000424, DeviceKind::tv, "Audio / video \u00B7 Set-top box"},
        {0x000440, DeviceKind::tv, "Audio / video \u00B7 Video conferencing"},
        {0x000540, DeviceKind::input, "Peripheral \u00B7 Keyboard"},
        {0x0005C8, DeviceKind::input, "Peripheral \u00B7 Keyboard + pointer"},
        {0x000508, DeviceKind::input, "Peripheral \u00B7 Gamepad"},
        {0x00050C, DeviceKind::input, "Peripheral \u00B7 Remote control"},
        {0x000714, DeviceKind::watch, "Wearable \u00B7 Glasses"},
        {0x000904, DeviceKind::health, "Health"},
        {0x000A00, DeviceKind::unknown, "Uncategorized"},            // past the last major
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassOfDevice{c.raw}.kind(), c.kind) << std::hex << c.raw;
        EXPECT_EQ(ClassOfDevice{c.raw}.description(), c.description) << std::hex << c.raw;
    }
}

}  // namespace
}  // namespace quillmote
