#include "core/decoding/assigned_numbers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace quillmote {
namespace {

using namespace AssignedNumbers;

TEST(AssignedNumbers, ShortUUIDAndServiceNames) {
    EXPECT_EQ(shortUUID("180f"), "180F");
    EXPECT_EQ(shortUUID("0000180f-0000-1000-8000-00805f9b34fb"), "180F");
    EXPECT_FALSE(shortUUID("0000180F-0000-1000-8000-00805F9B34FC"));
    EXPECT_FALSE(shortUUID("1000180F-0000-1000-8000-00805F9B34FB"));
    EXPECT_FALSE(shortUUID("0000180F"));

    EXPECT_EQ(serviceName("1800"), "GAP");
    EXPECT_EQ(serviceName("0000180F-0000-1000-8000-00805F9B34FB"), "Battery");
    EXPECT_EQ(serviceName("feaa"), "Google LLC");
    EXPECT_EQ(serviceName("FD5A"), "Samsung Electronics Co., Ltd.");
    EXPECT_EQ(shortUUID("wxyz"), "WXYZ");
    EXPECT_FALSE(serviceName("WXYZ"));
    EXPECT_FALSE(serviceName("FFFF"));

    EXPECT_EQ(companyName(0x004C), "Apple, Inc.");
    EXPECT_EQ(companyName(0x0225), "Nestl\u00E9 Nespresso S.A.");
    EXPECT_FALSE(companyName(0xFFFF));
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

// Every thread must get the same complete tables, whichever of them builds them.
bool lookUpFromManyThreads() {
    constexpr int threadCount = 8;
    std::vector<const void*> seen(2 * threadCount);
    std::vector<char> correct(threadCount);
    std::vector<std::thread> threads;
    for (int i = 0; i < threadCount; ++i) {
        threads.emplace_back([&, i] {
            bool names = i % 2 ? companyName(0x0006) == "Microsoft" && serviceName("1801") == "GATT"
                               : serviceName("180F") == "Battery" && companyName(0x004C) == "Apple, Inc.";
            seen[2 * i] = &services();
            seen[2 * i + 1] = &companies();
            correct[i] = names && services().size() > 700 && companies().size() > 4000;
        });
    }
    for (auto& thread : threads) thread.join();
    for (int i = 0; i < threadCount; ++i)
        if (!correct[i] || seen[2 * i] != seen[0] || seen[2 * i + 1] != seen[1]) return false;
    return true;
}

TEST(AssignedNumbersDeathTest, ConcurrentFirstLookUps) {
    // "threadsafe" re-runs this test alone in a fresh process, where no table is built yet.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(lookUpFromManyThreads() ? 0 : 1), ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(lookUpFromManyThreads());
}

}  // namespace
}  // namespace quillmote
