#include "app/launch_settings.h"

#include <QDir>
#include <climits>
#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace quillmote {
namespace {

// Settings over INI files in a private folder, never the user's own.
class LaunchSettingsTest : public ::testing::Test {
protected:
    test::TempDir dir;
    int files = 0;

    // A fresh file for every store (QSettings caches files by name within a process),
    // holding `ini` as its [General] section.
    LaunchSettings settings(const QStringList& arguments, const std::string& ini = "") {
        const auto file = dir.write("settings" + std::to_string(++files) + ".ini", "[General]\n" + ini);
        return LaunchSettings(arguments, std::make_unique<QSettings>(QString::fromStdString(file.string()),
                                                                     QSettings::IniFormat));
    }
    std::string lastFile() const { return test::readFile(dir.path() / ("settings" + std::to_string(files) + ".ini")); }
};

TEST_F(LaunchSettingsTest, ArgumentPairsOverrideTheStoreForTheRun) {
    auto s = settings({"stray", "-startPage", "Activity", "-captureSeconds", "-3", "loose", "-clickSelfTest"},
                      "startPage=Devices\nstartRange=month\nreplayPath=a, b\n");
    EXPECT_EQ(s.text("startPage"), "Activity");
    EXPECT_EQ(s.text("startRange"), "month");     // stored, not overridden
    EXPECT_EQ(s.real("captureSeconds"), -3.0);    // a value may start with a dash
    EXPECT_FALSE(s.contains("clickSelfTest"));    // a trailing key has no value
    EXPECT_FALSE(s.contains("stray"));
    EXPECT_FALSE(s.contains("loose"));
    // A list is there, but is neither text nor a number.
    EXPECT_TRUE(s.contains("replayPath"));
    EXPECT_EQ(s.text("replayPath"), std::nullopt);
    EXPECT_EQ(s.integer("replayPath"), 0);
    // The stored file is untouched by overrides.
    EXPECT_NE(lastFile().find("startPage=Devices"), std::string::npos);
}

// A text given at launch, read as text, as a number and as a yes or no.
TEST_F(LaunchSettingsTest, TextsReadAsNumbersAndBooleans) {
    const std::tuple<const char*, double, long long, bool> cases[] = {
        {"2.5", 2.5, 2, true},     {" 7 ", 7, 7, true},  {"1e3", 1000, 1000, true}, {"-2", -2, -2, true},
        {"0.5", 0.5, 0, true},     {"0", 0, 0, false},   {"", 0, 0, false},         {"abc", 0, 0, false},
        {"12abc", 0, 0, false},    {"nan", 0, 0, false}, {"inf", 0, 0, false},      {"true", 0, 0, true},
        {"YES", 0, 0, true},       {"y", 0, 0, false},   {"false", 0, 0, false},
        {"-10.7", -10.7, -10, true},  // the fraction goes, toward zero
        {"9007199254740993", 9007199254740992.0, 9007199254740993, true},  // whole numbers exactly
        {"some folder/with, comma", 0, 0, false},
    };
    for (const auto& [text, real, integer, boolean] : cases) {
        auto s = settings({"-key", text});
        EXPECT_EQ(s.text("key"), text);
        EXPECT_EQ(s.real("key"), real) << text;
        EXPECT_EQ(s.integer("key"), integer) << text;
        EXPECT_EQ(s.boolean("key"), boolean) << text;
    }
}

TEST_F(LaunchSettingsTest, SetTextPersistsAndHoldsForTheRun) {
    auto s = settings({"-look", "Ledger"}, "look=Voice\n");
    s.setText("look", "Present");
    EXPECT_EQ(s.text("look"), "Present");  // the launch value no longer hides it
    // On disk already, not only in this process's cache.
    EXPECT_NE(lastFile().find("look=Present"), std::string::npos) << lastFile();
}

// History follows historyPath (from the current folder), then a replay; the usual
// level is set whenever given, the window only from one minute on.
TEST_F(LaunchSettingsTest, TestSettingsFollowTheirLaunchValues) {
    const auto forReplays = std::filesystem::path(QDir::tempPath().toStdString()) / "Quillmote-replay-history";
    using Folder = std::optional<std::filesystem::path>;
    const std::tuple<QStringList, Folder, std::optional<double>, std::optional<int>> cases[] = {
        {{}, std::nullopt, std::nullopt, std::nullopt},
        {{"-replayPath", "demo.json"}, forReplays, std::nullopt, std::nullopt},
        {{"-replayPath", "demo.json", "-historyPath", "/var/h"}, "/var/h", std::nullopt, std::nullopt},
        {{"-historyPath", "h"}, std::filesystem::current_path() / "h", std::nullopt, std::nullopt},
        {{"-usualOverride", "0", "-surgeWindowMinutes", "0"}, std::nullopt, 0.0, std::nullopt},
        {{"-usualOverride", "5.5", "-surgeWindowMinutes", "1"}, std::nullopt, 5.5, 1},
        {{"-surgeWindowMinutes", "99999999999"}, std::nullopt, std::nullopt, INT_MAX},
    };
    for (const auto& [arguments, history, usual, window] : cases) {
        const auto test = TestSettings::fromLaunchArguments(settings(arguments));
        SCOPED_TRACE(arguments.join(' ').toStdString());
        EXPECT_EQ(test.historyFolder, history);
        EXPECT_EQ(test.usualOverride, usual);
        EXPECT_EQ(test.surgeWindowMinutes, window);
    }
}

}  // namespace
}  // namespace quillmote
