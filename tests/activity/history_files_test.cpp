#include "core/activity/history_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <limits>
#include <set>

#include "tests/support/temp_dir.h"

namespace quillmote {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using test::readFile;
using test::TempDir;

const Instant march14 = sys_days(2026y / March / 14);  // 1773446400 s
const std::string header = "minute_utc,observed_s,around,passing,arrived,left,moved\n";

MinuteRecord minuteAt(Instant minute, double around = 1.0) { return MinuteRecord{minute, 60, around, 1, 2, 3, 4}; }

std::set<std::string> entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// A history in a fresh folder.
class HistoryFolder : public testing::Test {
protected:
    TempDir dir;
    HistoryFiles files{dir.path()};

    // The level of each record read back, in the order read; by default the whole of 14 March.
    std::vector<double> arounds(Instant from = march14, Instant to = march14 + 24h) const {
        std::vector<double> levels;
        for (const auto& record : files.minutes(from, to)) levels.push_back(record.around);
        return levels;
    }
};

TEST(HistoryFiles, RecordAcceptsOnlySevenWellFormedFields) {
    const Instant minute = march14 + 9h + 41min;
    // Empty pieces do not count: ",," is one separator and a trailing "," adds nothing.
    EXPECT_EQ(HistoryFiles::record("1773481260,,60,12.33,1,2,3,4,"), (MinuteRecord{minute, 60, 12.33, 1, 2, 3, 4}));
    EXPECT_EQ(HistoryFiles::record("1773481260.0,+60,+1e1,-1,2,3,4"), (MinuteRecord{minute, 60, 10.0, -1, 2, 3, 4}));
    EXPECT_EQ(HistoryFiles::record("0,9223372036854775807,0,-9223372036854775808,0,0,0"),
              (MinuteRecord{Instant{}, std::numeric_limits<std::int64_t>::max(), 0.0,
                            std::numeric_limits<std::int64_t>::min(), 0, 0, 0}));
    for (const char* bad : {"1773481260,60,12.33,1,2,3,4,5", "1773481260,60,,1,2,3,4", "1773481260,60.0,12.33,1,2,3,4",
                            "1773481260,60,12.33,1,2,3,4\r", "1773481260,9223372036854775808,12.33,1,2,3,4",
                            "1773481260,+-6,12.33,1,2,3,4", "1773481260,60,12.33x,1,2,3,4", "tomorrow,60,12.33,1,2,3,4",
                            "1773481260,60,nan,1,2,3,4", "1773481260,60,inf,1,2,3,4",  // would poison every average
                            "+-1773481260,60,12.33,1,2,3,4", "minute_utc,observed_s,around,passing,arrived,left,moved"})
        EXPECT_FALSE(HistoryFiles::record(bad)) << bad;
}

TEST_F(HistoryFolder, AppendCreatesTheUTCDayFileWithItsHeaderOnce) {
    HistoryFiles deep(dir.path() / "deep" / "history");  // missing parents are created
    const Instant minute = march14 + 9h + 41min;
    ASSERT_FALSE(deep.append(MinuteRecord{minute, 60, 12.3333, 1, 2, 3, 4}));
    ASSERT_FALSE(deep.append(MinuteRecord{minute + 1min, 45, 3, 0, 0, 0, 0}));
    EXPECT_EQ(readFile(deep.folder() / "minutes-2026-03-14.csv"),
              header + "1773481260,60,12.33,1,2,3,4\n1773481320,45,3.00,0,0,0,0\n");
    EXPECT_EQ(entries(deep.folder()), std::set<std::string>{"minutes-2026-03-14.csv"});  // no temporary left
    EXPECT_EQ(deep.minutes(minute, minute + 2min),
              (std::vector<MinuteRecord>{{minute, 60, 12.33, 1, 2, 3, 4}, {minute + 1min, 45, 3.0, 0, 0, 0, 0}}));
    // The last microsecond of a day belongs to it.
    EXPECT_EQ(files.dayFile(march14 - 1us), dir.path() / "minutes-2026-03-13.csv");
}

TEST_F(HistoryFolder, MinutesReadAcrossMidnightInTimeOrder) {
    const Instant start = march14 + 23h + 30min;
    // Appended out of order, over two UTC days; a duplicate is kept, in file order.
    for (int offset : {45, 0, 60, 15, 30, 59, 29, 31, 61})
        ASSERT_FALSE(files.append(minuteAt(start + minutes(offset), offset)));
    ASSERT_FALSE(files.append(minuteAt(start + 15min, 99)));
    EXPECT_TRUE(fs::exists(dir.path() / "minutes-2026-03-15.csv"));
    EXPECT_EQ(arounds(start, start + 60min), (std::vector<double>{0, 15, 99, 29, 30, 31, 45, 59}));  // end excluded
    EXPECT_TRUE(files.minutes(start - 24h, start).empty());
    EXPECT_EQ(files.minutes(Instant::min(), Instant::max()).size(), 10u);
}

TEST_F(HistoryFolder, BadContentCostsOnlyItsOwnLine) {
    // 1773446400 is midnight; the records are at 0, 1, 2, … minutes.
    dir.write("minutes-2026-03-14.csv",
              "minute_utc,observed_s,around,passing,arrived,left,moved\r\n1773446400,60,0.00,0,0,0,0\r\n"
              "1773446460,60,1.00,0,0,0,0,9\n\n1773446520,60,,0,0,0,0\n\xff\xfe garbage\n"
              "1773446640,60,4.00,0,0,0,0\n1773446700,60,5.00,0,0,0,0");  // whole, without its line feed
    EXPECT_EQ(arounds(), (std::vector<double>{0, 4, 5}));
    // Files that are not day files are never read.
    dir.write("minutes-2026-3-14.csv", "h\n1773446400,60,7.00,0,0,0,0\n");
    dir.write("minutes-2026-03-14.txt", "h\n1773446400,60,8.00,0,0,0,0\n");
    // A pipe under a history name is skipped rather than waited on.
    ASSERT_EQ(mkfifo((dir.path() / "minutes-2026-03-15.csv").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir.path() / "surges.json").c_str(), 0600), 0);
    EXPECT_EQ(arounds(march14, march14 + 48h), (std::vector<double>{0, 4, 5}));
    EXPECT_TRUE(files.loadSurges().empty());

    // Without a header the first data line is taken for one.
    dir.write("minutes-2026-03-14.csv", "1773446400,60,0.00,0,0,0,0\n1773446460,60,1.00,0,0,0,0\n");
    EXPECT_EQ(arounds(), (std::vector<double>{1}));
}

TEST_F(HistoryFolder, AppendMendsALastLineCutShort) {
    const std::string first = "1773446400,60,0.00,0,0,0,0", added = "1773446700,60,5.00,1,2,3,4\n";
    for (const auto& [before, after] : std::vector<std::pair<std::string, std::string>>{
             // Half a line left by a crash is lost on its own line; the new record is not.
             {header + first + "\n1773446460,6", header + first + "\n1773446460,6\n" + added},
             {header + first, header + first + "\n" + added},  // a whole line without its line feed keeps its place
             {"", header + added},  // an empty file gets its header first, so the record is not taken for one
         }) {
        dir.write("minutes-2026-03-14.csv", before);
        ASSERT_FALSE(files.append(minuteAt(march14 + 5min, 5)));
        EXPECT_EQ(readFile(dir.path() / "minutes-2026-03-14.csv"), after);
    }
}

TEST_F(HistoryFolder, PruneKeepsTheRetentionPeriodOfUTCDays) {
    for (const char* name : {"minutes-2025-12-13.csv", "minutes-2025-12-14.csv", "minutes-2020-01-01",
                             "minutes-2025-02-30.csv", "minutes-2025-1-01.csv", "history-2020-01-01.csv"})
        dir.write(name, "x");
    // From the last second of 14 March, 90 days back is the whole of 14 December.
    files.pruneOlderThan(HistoryFiles::retentionDays, march14 + 23h + 59min + 59s);
    EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"minutes-2025-12-14.csv", "minutes-2025-02-30.csv",
                                                           "minutes-2025-1-01.csv", "history-2020-01-01.csv"}));
}

SurgeEvent surge(std::uint8_t seed, std::optional<Instant> ended) {
    SurgeEvent event{randomUuid(), march14 + 9h + 41min, ended, 10.5, 21.25, 30, {"Café ☕", "Desk lamp"}};
    event.id.bytes[15] = seed;
    return event;
}

TEST_F(HistoryFolder, SurgesRoundTripToTheWholeSecond) {
    EXPECT_TRUE(files.loadSurges().empty());  // no file yet
    const SurgeEvent open = surge(1, std::nullopt);
    SurgeEvent closed = surge(2, march14 + 10h + 250ms);
    ASSERT_FALSE(files.saveSurges({closed, open}));
    const std::string text = readFile(dir.path() / "surges.json");
    EXPECT_NE(text.find("\"started\": \"2026-03-14T09:41:00Z\""), std::string::npos) << text;
    EXPECT_EQ(text.find("\"ended\""), text.rfind("\"ended\""));  // left out of the open one
    closed.ended = march14 + 10h;
    EXPECT_EQ(files.loadSurges(), (std::vector<SurgeEvent>{closed, open}));
}

TEST_F(HistoryFolder, OneBadSurgeSpoilsTheDocument) {
    const std::string good = R"({"namedDevices":[],"peakAround":3,"aroundAtStart":2,"usualAround":1,)"
                             R"("started":"2026-03-14T09:41:00Z","id":"0F0E0D0C-0B0A-4908-8706-050403020100")";
    // A document of that one episode, with `from` in it replaced by `to`.
    auto edited = [&good](const std::string& from, const std::string& to) {
        std::string episode = good;
        return "[" + episode.replace(episode.find(from), from.size(), to) + "}]";
    };
    dir.write("surges.json", edited("\"id\"", "\"ended\":null,\"id\""));  // a null end is an open episode
    ASSERT_EQ(files.loadSurges().size(), 1u);
    for (const std::string& bad : {edited("09:41:00Z", "09:41"), edited("\"id\"", "\"ended\":\"soon\",\"id\""),
                                   edited("-0B0A-4908-8706-050403020100", ""), edited("[]", "[7]"),
                                   edited(":3,", ":\"3\","), edited("\"id\"", "\"ID\""), edited("usualAround", "usual"),
                                   "[" + good + R"(}, {"id":"x"}])", "[" + good, std::string("{}")}) {
        dir.write("surges.json", bad);
        EXPECT_TRUE(files.loadSurges().empty()) << bad;
    }
    // Nor is a file too large to be ours read at all, however well formed.
    dir.write("surges.json", edited("\"id\"", "\"ended\":null,\"id\"") + std::string(std::size_t(65) << 20, ' '));
    EXPECT_TRUE(files.loadSurges().empty());
}

TEST_F(HistoryFolder, NamedPresenceRoundTrips) {
    EXPECT_TRUE(files.loadNamedPresence().days.empty());
    NamedPresence presence;
    presence.days["Desk lamp"]["2026-03-13"] = {march14 - 20h, 75};
    presence.days["Café ☕"]["2026-03-14"] = {march14 + 9h + 999ms, 3600};
    ASSERT_FALSE(files.saveNamedPresence(presence));
    presence.days["Café ☕"]["2026-03-14"].firstHeard = march14 + 9h;
    EXPECT_EQ(files.loadNamedPresence(), presence);

    const std::string day = R"({"days":{"Lamp":{"2026-03-14":)";
    for (const std::string& bad : {day + R"({"firstHeard":"2026-03-14T08:00:00Z"}}}})", day + R"({"seconds":5}}}})",
                                   day + R"({"firstHeard":"2026-03-14T08:00:00Z","seconds":18446744073709551615}}}})",
                                   day + R"({"firstHeard":"yesterday","seconds":5}}}})", std::string("[]")}) {
        dir.write("named-devices.json", bad);
        EXPECT_TRUE(files.loadNamedPresence().days.empty()) << bad;
    }
}

TEST_F(HistoryFolder, UnreadableDocumentsAreSetAsideBeforeTheyAreReplaced) {
    EXPECT_TRUE(files.setAsideUnreadable().empty());  // nothing there yet
    ASSERT_FALSE(files.saveSurges({surge(1, std::nullopt)}));
    const std::string goodSurges = readFile(dir.path() / "surges.json");
    dir.write("named-devices.json", "{\"days\": {\"Lamp\"");
    EXPECT_EQ(files.setAsideUnreadable(),
              std::vector<std::string>{(dir.path() / "named-devices.json").string() +
                                       " cannot be read; kept as named-devices.json.unreadable and started anew"});
    EXPECT_EQ(readFile(dir.path() / "surges.json"), goodSurges);
    EXPECT_EQ(readFile(dir.path() / "named-devices.json.unreadable"), "{\"days\": {\"Lamp\"");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "named-devices.json"));
    EXPECT_TRUE(files.setAsideUnreadable().empty());
}

TEST_F(HistoryFolder, FailedWritesAreReportedAndHarmNothing) {
    const SurgeEvent kept = surge(1, std::nullopt);
    ASSERT_FALSE(files.saveSurges({kept}));
    const std::string before = readFile(dir.path() / "surges.json");
    // A value JSON cannot hold would make the whole document unreadable.
    SurgeEvent broken = surge(2, std::nullopt);
    broken.peakAround = std::nan("");
    EXPECT_TRUE(files.saveSurges({kept, broken}));
    // Nor can a year of five digits be read back.
    EXPECT_TRUE(files.saveSurges({kept, surge(3, sys_days(10000y / January / 1))}));
    EXPECT_EQ(readFile(dir.path() / "surges.json"), before);

    // A folder where the day file should be.
    fs::create_directory(dir.path() / "minutes-2026-03-14.csv");
    EXPECT_TRUE(files.append(minuteAt(march14)));
    // The target's name is taken by a folder: the rename fails and no temporary is left behind.
    fs::create_directories(dir.path() / "named-devices.json" / "inside");
    EXPECT_TRUE(files.saveNamedPresence(NamedPresence{}));
    EXPECT_EQ(entries(dir.path()),
              (std::set<std::string>{"minutes-2026-03-14.csv", "named-devices.json", "surges.json"}));
}

}  // namespace
}  // namespace quillmote
