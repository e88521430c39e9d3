#include "core/decoding/assigned_numbers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quillmote {
namespace {

using namespace AssignedNumbers;

TEST(AssignedNumbers, ShortUUIDsOnlyFromTheBaseUUID) {
    EXPECT_EQ(shortUUID("180f"), "180F");
    EXPECT_EQ(shortUUID("0000180f-0000-1000-8000-00805f9b34fb"), "180F");
    EXPECT_FALSE(shortUUID("0000180F-0000-1000-8000-00805F9B34FC"));
    EXPECT_FALSE(shortUUID("1000180F-0000-1000-8000-00805F9B34FB"));
    EXPECT_FALSE(shortUUID("0000180F"));
    EXPECT_EQ(serviceName("0000180F-0000-1000-8000-00805F9B34FB"), "Battery");
    EXPECT_FALSE(serviceName("WXYZ"));
}

// The embedded text must come through whole: first and last rows, every name intact.
TEST(AssignedNumbers, TablesHoldEveryRowOfTheirSourceFiles) {
    auto data = std::filesystem::path(QUILLMOTE_TEST_DATA).parent_path().parent_path() / "data";
    auto forEachRow = [&](const char* file, auto check) {
        std::ifstream in(data / file);
        std::size_t rows = 0;
        for (std::string line; std::getline(in, line); ++rows) {
            auto tab = line.find('\t');
            check(line.substr(0, tab), line.substr(tab + 1));
        }
        return rows;
    };
    auto companyRows = forEachRow("company_identifiers.tsv", [](const std::string& id, const std::string& name) {
        EXPECT_EQ(companyName(static_cast<std::uint16_t>(std::stoul(id, nullptr, 16))), name) << id;
    });
    EXPECT_GT(companyRows, 4000u);
    EXPECT_EQ(companies().size(), companyRows);
    auto serviceRows = forEachRow("service_uuids.tsv", [](const std::string& id, const std::string& name) {
        EXPECT_EQ(serviceName(id), name) << id;
    });
    EXPECT_GT(serviceRows, 700u);
    EXPECT_EQ(services().size(), serviceRows);
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

}  // namespace
}  // namespace quillmote
