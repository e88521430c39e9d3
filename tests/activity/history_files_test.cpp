#include "core/activity/history_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>

#include "tests/support/temp_dir.h"

namespace quillmote {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using test::readFile;
using test::TempDir;

const Instant march14 = sys_days(2026y / March / 14);  // 1773446400 s

MinuteRecord minuteAt(Instant minute, double around = 1.0) {
    return MinuteRecord{minute, 60, around, 1, 2, 3, 4};
}

std::set<std::string> entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        set(value);
    }
    ~ScopedEnv() { set(old_ ? old_->c_str() : nullptr); }
    void set(const char* value) const {
        if (value)
            setenv(name_, value, 1);
        else
            unsetenv(name_);
        tzset();
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(HistoryFiles, DefaultFolderFollowsTheXdgDataFolder) {
    ScopedEnv home("HOME", "/home/ada");
    ScopedEnv xdg("XDG_DATA_HOME", "/data/ada");
    EXPECT_EQ(HistoryFiles::defaultFolder(), fs::path("/data/ada/Quillmote/history"));
    xdg.set("relative/data");  // only an absolute path counts
    EXPECT_EQ(HistoryFiles::defaultFolder(), fs::path("/home/ada/.local/share/Quillmote/history"));
    xdg.set(nullptr);
    EXPECT_EQ(HistoryFiles::defaultFolder(), fs::path("/home/ada/.local/share/Quillmote/history"));
}

TEST(HistoryFiles, LinesAndDayFiles) {
    const Instant minute = march14 + 9h + 41min;
    EXPECT_EQ(HistoryFiles::line(MinuteRecord{minute, 60, 12.3333, 1, 2, 3, 4}), "1773481260,60,12.33,1,2,3,4");
    EXPECT_EQ(HistoryFiles::line(MinuteRecord{minute, 0, 0.0, 0, 0, 0, 0}), "1773481260,0,0.00,0,0,0,0");
    EXPECT_EQ(HistoryFiles::line(MinuteRecord{minute, 45, 7.999, 0, -1, 0, 12}), "1773481260,45,8.00,0,-1,0,12");

    HistoryFiles files(fs::path("/history"));
    EXPECT_EQ(files.dayFile(minute), fs::path("/history/minutes-2026-03-14.csv"));
    EXPECT_EQ(files.dayFile(march14), fs::path("/history/minutes-2026-03-14.csv"));
    EXPECT_EQ(files.dayFile(march14 - 1us), fs::path("/history/minutes-2026-03-13.csv"));
    // The UTC date, whatever the local zone.
    for (const char* zone : {"Pacific/Kiritimati", "America/Los_Angeles"}) {
        ScopedEnv tz("TZ", zone);
        EXPECT_EQ(files.dayFile(march14 + 23h + 30min), fs::path("/history/minutes-2026-03-14.csv")) << zone;
        EXPECT_EQ(files.dayFile(march14 + 30min), fs::path("/history/minutes-2026-03-14.csv")) << zone;
    }
}

TEST(HistoryFiles, RecordAcceptsOnlySevenWellFormedFields) {
    const Instant minute = march14 + 9h + 41min;
    // Empty pieces do not count: ",," is one separator and a trailing "," adds nothing.
    EXPECT_EQ(HistoryFiles::record("1773481260,,60,12.33,1,2,3,4,"), (MinuteRecord{minute, 60, 12.33, 1, 2, 3, 4}));
    EXPECT_EQ(HistoryFiles::record("1773481260.0,+60,1e1,-1,2,3,4"), (MinuteRecord{minute, 60, 10.0, -1, 2, 3, 4}));
    EXPECT_EQ(HistoryFiles::record("0,9223372036854775807,0,-9223372036854775808,0,0,0"),
              (MinuteRecord{Instant{}, std::numeric_limits<std::int64_t>::max(), 0.0,
                            std::numeric_limits<std::int64_t>::min(), 0, 0, 0}));
    for (const char* bad : {
             "1773481260,60,12.33,1,2,3,4,5",      // eight fields
             "1773481260,60,,1,2,3,4",             // an empty field leaves six
             "1773481260,60.0,12.33,1,2,3,4",      // decimal point in an integer field
             "1773481260,60,12.33,1,2,3,4\r",      // carriage return in the last integer
             "1773481260,60,12.33,1,2,3, 4",       // space
             "1773481260,60,12.33,1,2,3,4x",
             "1773481260,9223372036854775808,12.33,1,2,3,4",  // beyond 64 bits
             "1773481260,+-6,12.33,1,2,3,4",
             "1773481260,-,12.33,1,2,3,4",
             "1773481260,60,12.33x,1,2,3,4",       // around not parsed completely
             "1773481260,60,nan,1,2,3,4",          // would poison every average
             "1773481260,60,inf,1,2,3,4",
             "tomorrow,60,12.33,1,2,3,4",
             "+-1773481260,60,12.33,1,2,3,4",
             "minute_utc,observed_s,around,passing,arrived,left,moved",
             "",
         })
        EXPECT_FALSE(HistoryFiles::record(bad)) << bad;
}

TEST(HistoryFiles, AppendCreatesTheDayFileWithItsHeaderOnce) {
    TempDir dir;
    HistoryFiles files(dir.path() / "deep" / "history");  // missing parents are created
    const Instant minute = march14 + 9h + 41min;
    ASSERT_FALSE(files.append(MinuteRecord{minute, 60, 12.3333, 1, 2, 3, 4}));
    const fs::path day = files.folder() / "minutes-2026-03-14.csv";
    EXPECT_EQ(readFile(day), "minute_utc,observed_s,around,passing,arrived,left,moved\n"
                             "1773481260,60,12.33,1,2,3,4\n");
    ASSERT_FALSE(files.append(MinuteRecord{minute + 1min, 45, 3, 0, 0, 0, 0}));
    EXPECT_EQ(readFile(day), "minute_utc,observed_s,around,passing,arrived,left,moved\n"
                             "1773481260,60,12.33,1,2,3,4\n"
                             "1773481320,45,3.00,0,0,0,0\n");
    EXPECT_EQ(entries(files.folder()), std::set<std::string>{"minutes-2026-03-14.csv"});  // no temporary left

    const auto back = files.minutes(minute, minute + 2min);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0], (MinuteRecord{minute, 60, 12.33, 1, 2, 3, 4}));
    EXPECT_EQ(back[1], (MinuteRecord{minute + 1min, 45, 3.0, 0, 0, 0, 0}));
}

TEST(HistoryFiles, MinutesReadAcrossMidnightInTimeOrder) {
    TempDir dir;
    HistoryFiles files(dir.path());
    const Instant start = march14 + 23h + 30min;
    // Appended out of order, over two UTC days.
    for (int offset : {45, 0, 60, 15, 30, 59, 29, 31, 61})
        ASSERT_FALSE(files.append(minuteAt(start + minutes(offset), offset)));
    EXPECT_TRUE(fs::exists(dir.path() / "minutes-2026-03-14.csv"));
    EXPECT_TRUE(fs::exists(dir.path() / "minutes-2026-03-15.csv"));

    const auto records = files.minutes(start, start + 60min);  // the end is excluded
    std::vector<double> order;
    for (const auto& record : records) order.push_back(record.around);
    EXPECT_EQ(order, (std::vector<double>{0, 15, 29, 30, 31, 45, 59}));

    // Duplicates are kept, in file order.
    ASSERT_FALSE(files.append(minuteAt(start + 15min, 99)));
    const auto again = files.minutes(start + 15min, start + 16min);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].around, 15);
    EXPECT_EQ(again[1].around, 99);

    EXPECT_TRUE(files.minutes(start - 24h, start).empty());
    EXPECT_EQ(files.minutes(Instant::min(), Instant::max()).size(), 10u);
}

TEST(HistoryFiles, BadContentCostsOnlyItsOwnLine) {
    TempDir dir;
    HistoryFiles files(dir.path());
    const Instant day = march14;
    // 1773446400 is midnight; the records are at 0, 1, 2, … minutes.
    dir.write("minutes-2026-03-14.csv",
              "minute_utc,observed_s,around,passing,arrived,left,moved\n"
              "1773446400,60,0.00,0,0,0,0\n"
              "1773446460,60,1.00,0,0,0,0,9\n"  // eight fields
              "\n"
              "1773446520,60,,0,0,0,0\n"        // an empty field
              "1773446580,60.5,3.00,0,0,0,0\n"  // decimal point in an integer
              "\xff\xfe garbage\n"
              "1773446640,60,4.00,0,0,0,0\n"
              "1773446700,60,5.0");  // cut short: not a whole line
    std::vector<double> read;
    for (const auto& record : files.minutes(day, day + 24h)) read.push_back(record.around);
    EXPECT_EQ(read, (std::vector<double>{0, 4}));

    // Without a header the first data line is taken for one.
    dir.write("minutes-2026-03-14.csv",
              "1773446400,60,0.00,0,0,0,0\n"
              "1773446460,60,1.00,0,0,0,0\n");
    ASSERT_EQ(files.minutes(day, day + 24h).size(), 1u);
    EXPECT_EQ(files.minutes(day, day + 24h)[0].around, 1.0);

    // CR LF line endings, and a complete last line without its line feed.
    dir.write("minutes-2026-03-14.csv",
              "minute_utc,observed_s,around,passing,arrived,left,moved\r\n"
              "1773446400,60,0.00,0,0,0,0\r\n"
              "1773446460,60,1.00,0,0,0,0\r\n"
              "1773446520,60,2.00,0,0,0,0");
    read.clear();
    for (const auto& record : files.minutes(day, day + 24h)) read.push_back(record.around);
    EXPECT_EQ(read, (std::vector<double>{0, 1, 2}));

    // Files that are not day files are never read.
    dir.write("minutes-2026-3-14.csv", "h\n1773446400,60,7.00,0,0,0,0\n");
    dir.write("minutes-2026-03-14.csv.bak", "h\n1773446400,60,8.00,0,0,0,0\n");
    EXPECT_EQ(files.minutes(day, day + 24h).size(), 3u);

    // A pipe under a history name is skipped rather than waited on.
    ASSERT_EQ(mkfifo((dir.path() / "minutes-2026-03-15.csv").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir.path() / "surges.json").c_str(), 0600), 0);
    EXPECT_EQ(files.minutes(day, day + 48h).size(), 3u);
    EXPECT_TRUE(files.loadSurges().empty());
}

TEST(HistoryFiles, AppendMendsALastLineCutShort) {
    TempDir dir;
    HistoryFiles files(dir.path());
    const Instant minute = march14 + 5min;
    const std::string header = "minute_utc,observed_s,around,passing,arrived,left,moved\n";

    // A crash left half a line: it is lost, the new record is not.
    dir.write("minutes-2026-03-14.csv", header + "1773446400,60,0.00,0,0,0,0\n1773446460,6");
    ASSERT_FALSE(files.append(minuteAt(minute, 5)));
    std::vector<double> read;
    for (const auto& record : files.minutes(march14, march14 + 24h)) read.push_back(record.around);
    EXPECT_EQ(read, (std::vector<double>{0, 5}));

    // A whole line without its line feed keeps its place.
    dir.write("minutes-2026-03-14.csv", header + "1773446400,60,0.00,0,0,0,0");
    ASSERT_FALSE(files.append(minuteAt(minute, 5)));
    EXPECT_EQ(readFile(dir.path() / "minutes-2026-03-14.csv"),
              header + "1773446400,60,0.00,0,0,0,0\n1773446700,60,5.00,1,2,3,4\n");

    // An empty day file gets its header first, so the record is not taken for one.
    dir.write("minutes-2026-03-14.csv", "");
    ASSERT_FALSE(files.append(minuteAt(minute, 5)));
    EXPECT_EQ(readFile(dir.path() / "minutes-2026-03-14.csv"), header + "1773446700,60,5.00,1,2,3,4\n");
}

TEST(HistoryFiles, WritesIntoAnUnusableFolderFailWithoutHarm) {
    TempDir dir;
    dir.write("file", "not a folder");
    HistoryFiles blocked(dir.path() / "file" / "history");
    EXPECT_TRUE(blocked.append(minuteAt(march14)));
    EXPECT_TRUE(blocked.saveSurges({}));
    EXPECT_TRUE(blocked.saveNamedPresence({}));
    EXPECT_TRUE(blocked.minutes(Instant::min(), Instant::max()).empty());
    EXPECT_TRUE(blocked.loadSurges().empty());
    EXPECT_TRUE(blocked.loadNamedPresence().days.empty());
    blocked.pruneOlderThan(90, march14);
    EXPECT_EQ(readFile(dir.path() / "file"), "not a folder");

    // The day file's name is taken by a folder.
    HistoryFiles files(dir.path());
    fs::create_directory(dir.path() / "minutes-2026-03-14.csv");
    EXPECT_TRUE(files.append(minuteAt(march14)));
    EXPECT_TRUE(files.minutes(march14, march14 + 24h).empty());
}

TEST(HistoryFiles, PruneKeepsTheRetentionPeriodOfUTCDays) {
    for (Instant now : {march14, march14 + 23h + 59min + 59s}) {
        TempDir dir;
        for (const char* name : {"minutes-2025-12-13.csv", "minutes-2025-12-14.csv", "minutes-2026-03-14.csv",
                                 "minutes-2020-01-01", "minutes-notadate.csv", "minutes-2025-02-30.csv",
                                 "minutes-2025-1-01.csv", "history-2020-01-01.csv", "surges.json"})
            dir.write(name, "x");
        HistoryFiles(dir.path()).pruneOlderThan(HistoryFiles::retentionDays, now);
        EXPECT_EQ(entries(dir.path()),
                  (std::set<std::string>{"minutes-2025-12-14.csv", "minutes-2026-03-14.csv", "minutes-notadate.csv",
                                         "minutes-2025-02-30.csv", "minutes-2025-1-01.csv",
                                         "history-2020-01-01.csv", "surges.json"}));
    }
    HistoryFiles(fs::path("/nonexistent/quillmote")).pruneOlderThan(90, march14);  // nothing to do, no failure
}

SurgeEvent surge(std::uint8_t seed, std::optional<Instant> ended) {
    SurgeEvent event;
    event.id = randomUuid();
    event.id.bytes[15] = seed;
    event.started = march14 + 9h + 41min;
    event.ended = ended;
    event.usualAround = 10.5;
    event.aroundAtStart = 21.25;
    event.peakAround = 30;
    event.namedDevices = {"Café ☕", "Desk lamp"};
    return event;
}

TEST(HistoryFiles, SurgesRoundTripAsSortedPrettyJSON) {
    TempDir dir;
    HistoryFiles files(dir.path() / "history");
    EXPECT_TRUE(files.loadSurges().empty());  // no file yet

    const SurgeEvent open = surge(1, std::nullopt);
    SurgeEvent closed = surge(2, march14 + 10h + 250ms);  // stored to the whole second
    ASSERT_FALSE(files.saveSurges({closed, open}));
    const std::string text = readFile(files.folder() / "surges.json");
    EXPECT_NE(text.find("\"started\": \"2026-03-14T09:41:00Z\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"ended\": \"2026-03-14T10:00:00Z\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"id\": \"" + open.id.text() + "\""), std::string::npos) << text;
    EXPECT_EQ(text.find("\"ended\""), text.rfind("\"ended\""));  // left out of the open one
    EXPECT_NE(text.find("\n    \"aroundAtStart\""), std::string::npos) << text;  // one member per line
    std::vector<std::size_t> keys;
    for (const char* key : {"aroundAtStart", "ended", "id", "namedDevices", "peakAround", "started", "usualAround"})
        keys.push_back(text.find("\"" + std::string(key) + "\""));
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << text;

    closed.ended = march14 + 10h;
    EXPECT_EQ(files.loadSurges(), (std::vector<SurgeEvent>{closed, open}));

    // Written elsewhere: other key order, lower-case id, null end, fractional seconds.
    dir.write("history/surges.json", R"([ {"namedDevices":[],"peakAround":3,"aroundAtStart":2,"usualAround":1,
        "ended":null,"started":"2026-03-14T09:41:00.500Z","id":"0f0e0d0c-0b0a-4908-8706-050403020100"} ])");
    const auto loaded = files.loadSurges();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].id.text(), "0F0E0D0C-0B0A-4908-8706-050403020100");
    EXPECT_EQ(loaded[0].started, march14 + 9h + 41min + 500ms);
    EXPECT_FALSE(loaded[0].ended);
    EXPECT_EQ(loaded[0].peakAround, 3.0);

    const nlohmann::json good = {{"namedDevices", nlohmann::json::array()}, {"peakAround", 3},
                                 {"aroundAtStart", 2},  {"usualAround", 1},
                                 {"started", "2026-03-14T09:41:00Z"},
                                 {"id", "0F0E0D0C-0B0A-4908-8706-050403020100"}};
    auto document = [](const nlohmann::json& episode) { return nlohmann::json::array({episode}).dump(); };
    dir.write("history/surges.json", document(good));
    ASSERT_EQ(files.loadSurges().size(), 1u);
    auto without = [&](const char* key) {
        nlohmann::json episode = good;
        episode.erase(key);
        return document(episode);
    };
    auto with = [&](const char* key, const nlohmann::json& value) {
        nlohmann::json episode = good;
        episode[key] = value;
        return document(episode);
    };
    for (const std::string& bad : std::vector<std::string>{
             "[" + good.dump() + ", " + R"({"id":"x"})" + "]",  // one bad episode spoils the document
             with("started", "2026-03-14 09:41"), with("ended", "soon"), with("id", "0F0E0D0C"),
             with("namedDevices", nlohmann::json::array({7})), with("peakAround", "3"),
             without("id"), without("started"), without("usualAround"), without("aroundAtStart"),
             without("peakAround"), without("namedDevices"),
             document(good).substr(0, 60),  // cut short
             "{}", "", "\xff\xfe[]", "[\"\xc3\x28\"]",
         }) {
        dir.write("history/surges.json", bad);
        EXPECT_TRUE(files.loadSurges().empty()) << bad;
    }
}

TEST(HistoryFiles, NamedPresenceRoundTrips) {
    TempDir dir;
    HistoryFiles files(dir.path());
    EXPECT_TRUE(files.loadNamedPresence().days.empty());

    NamedPresence presence;
    presence.days["Desk lamp"]["2026-03-13"] = {march14 - 20h, 75};
    presence.days["Desk lamp"]["2026-03-14"] = {march14 + 8h + 999ms, 3600};
    presence.days["Café ☕"]["2026-03-14"] = {march14 + 9h, 1};
    ASSERT_FALSE(files.saveNamedPresence(presence));
    const std::string text = readFile(dir.path() / "named-devices.json");
    EXPECT_NE(text.find("\"firstHeard\": \"2026-03-13T04:00:00Z\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"seconds\": 75"), std::string::npos) << text;
    EXPECT_LT(text.find("Caf"), text.find("Desk lamp"));

    presence.days["Desk lamp"]["2026-03-14"].firstHeard = march14 + 8h;
    EXPECT_EQ(files.loadNamedPresence(), presence);

    for (const std::string& bad : std::vector<std::string>{
             R"({"days":{"Lamp":{"2026-03-14":{"firstHeard":"2026-03-14T08:00:00Z"}}}})",
             R"({"days":{"Lamp":{"2026-03-14":{"seconds":5}}}})",
             R"({"days":{"Lamp":{"2026-03-14":{"firstHeard":"2026-03-14T08:00:00Z","seconds":"5"}}}})",
             R"({"days":{"Lamp":{"2026-03-14":{"firstHeard":"yesterday","seconds":5}}}})",
             R"({"days":{"Lamp":[]}})",
             R"({"names":{}})",
             R"({"days":{"Lamp":{"2026-03-14":{"firstHeard":"2026-03-14T08:00:00Z","seconds":5}})",  // cut short
             "[]", "garbage",
         }) {
        dir.write("named-devices.json", bad);
        EXPECT_TRUE(files.loadNamedPresence().days.empty()) << bad;
    }
    dir.write("named-devices.json", R"({ "days" : { "Lamp" : { "2026-03-14" :
        { "seconds" : 5, "firstHeard" : "2026-03-14T08:00:00.250Z" } } } })");
    EXPECT_EQ(files.loadNamedPresence().days.at("Lamp").at("2026-03-14"),
              (NamedPresence::Day{march14 + 8h + 250ms, 5}));
}

TEST(HistoryFiles, AFailedSaveLeavesTheOldDocument) {
    TempDir dir;
    HistoryFiles files(dir.path());
    const SurgeEvent kept = surge(1, std::nullopt);
    ASSERT_FALSE(files.saveSurges({kept}));
    const std::string before = readFile(dir.path() / "surges.json");

    // A value JSON cannot hold would make the whole document unreadable.
    SurgeEvent broken = surge(2, std::nullopt);
    broken.peakAround = std::nan("");
    EXPECT_TRUE(files.saveSurges({kept, broken}));
    EXPECT_EQ(readFile(dir.path() / "surges.json"), before);
    EXPECT_EQ(files.loadSurges(), std::vector<SurgeEvent>{kept});

    NamedPresence presence;
    presence.days["Lamp"]["2026-03-14"] = {march14, 5};
    ASSERT_FALSE(files.saveNamedPresence(presence));
    const std::string named = readFile(dir.path() / "named-devices.json");
    NamedPresence unwritable = presence;
    unwritable.days["Lamp"]["2026-03-15"] = {sys_days(10000y / January / 1), 5};  // no four-digit year
    EXPECT_TRUE(files.saveNamedPresence(unwritable));
    EXPECT_EQ(readFile(dir.path() / "named-devices.json"), named);
    EXPECT_EQ(files.loadNamedPresence(), presence);

    // The target's name is taken by a folder: the rename fails and nothing is left behind.
    TempDir other;
    fs::create_directories(other.path() / "surges.json" / "inside");
    EXPECT_TRUE(HistoryFiles(other.path()).saveSurges({kept}));
    EXPECT_EQ(entries(other.path()), std::set<std::string>{"surges.json"});
    EXPECT_TRUE(fs::exists(other.path() / "surges.json" / "inside"));

    EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"named-devices.json", "surges.json"}));
}

TEST(SurgeEvent, RandomUuidIsVersion4) {
    std::set<std::string> seen;
    for (int i = 0; i < 64; ++i) {
        const Uuid id = randomUuid();
        EXPECT_EQ(id.bytes[6] >> 4, 4);
        EXPECT_EQ(id.bytes[8] & 0xC0, 0x80);
        seen.insert(id.text());
    }
    EXPECT_EQ(seen.size(), 64u);
}

}  // namespace
}  // namespace quillmote
