#include "app/launch_settings.h"

#include <QDir>
#include <QFile>
#include <climits>
#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace quillmote {
namespace {

// Settings over an INI file in a private folder, never the user's own.
class LaunchSettingsTest : public ::testing::Test {
protected:
    test::TempDir dir;
    // A fresh file for every store: QSettings caches files by name within a process.
    int files = 0;

    QString iniPath() const {
        return QString::fromStdString((dir.path() / ("settings" + std::to_string(files) + ".ini")).string());
    }

    std::unique_ptr<QSettings> store() const { return std::make_unique<QSettings>(iniPath(), QSettings::IniFormat); }

    // `ini` is the stored file's [General] section.
    LaunchSettings settings(const QStringList& arguments, const std::string& ini = "") {
        ++files;
        dir.write("settings" + std::to_string(files) + ".ini", "[General]\n" + ini);
        return LaunchSettings(arguments, store());
    }
};

TEST_F(LaunchSettingsTest, ArgumentPairsOverrideTheStoreForTheRun) {
    auto s = settings({"stray", "-startPage", "Activity", "-captureSeconds", "-3", "loose", "-clickSelfTest"},
                      "startPage=Devices\nstartRange=month\n");
    EXPECT_EQ(s.text("startPage"), "Activity");
    EXPECT_EQ(s.text("startRange"), "month");          // stored, not overridden
    EXPECT_EQ(s.real("captureSeconds"), -3.0);         // a value may start with a dash
    EXPECT_FALSE(s.contains("clickSelfTest"));         // a trailing key has no value
    EXPECT_FALSE(s.contains("stray"));
    EXPECT_FALSE(s.contains("loose"));
    // The stored file is untouched by overrides.
    EXPECT_EQ(QSettings(iniPath(), QSettings::IniFormat).value("startPage").toString(), "Devices");
}

TEST_F(LaunchSettingsTest, TextIsTakenAsGiven) {
    auto s = settings({"-startLook", "", "-historyPath", "some folder/with, comma"}, "captureSeconds=5\n");
    EXPECT_EQ(s.text("startLook"), QString(""));  // empty is a value
    EXPECT_TRUE(s.contains("startLook"));
    EXPECT_EQ(s.text("historyPath"), "some folder/with, comma");
    EXPECT_EQ(s.text("captureSeconds"), "5");
    EXPECT_EQ(s.text("look"), std::nullopt);
    EXPECT_FALSE(s.contains("look"));

    // A list is not text.
    auto listed = settings({}, "replayPath=a, b\n");
    EXPECT_TRUE(listed.contains("replayPath"));
    EXPECT_EQ(listed.text("replayPath"), std::nullopt);
}

TEST_F(LaunchSettingsTest, NumbersReadStoredNumbersAndNumericTexts) {
    auto s = settings({"-a", "2.5", "-b", " 7 ", "-c", "abc", "-d", "1e3", "-e", "nan", "-f", "inf", "-g", "-10.7",
                       "-h", "9007199254740993", "-i", "12abc"},
                      "stored=10.7\nwrong=@Rect(1 2 3 4)\nlisted=1, 2\n");
    EXPECT_EQ(s.real("a"), 2.5);
    EXPECT_EQ(s.real("b"), 7.0);
    EXPECT_EQ(s.real("c"), 0.0);
    EXPECT_EQ(s.real("d"), 1000.0);
    EXPECT_EQ(s.real("e"), 0.0);
    EXPECT_EQ(s.real("f"), 0.0);
    EXPECT_EQ(s.real("i"), 0.0);
    EXPECT_EQ(s.real("stored"), 10.7);
    EXPECT_EQ(s.real("absent"), 0.0);

    EXPECT_EQ(s.integer("a"), 2);
    EXPECT_EQ(s.integer("b"), 7);
    EXPECT_EQ(s.integer("c"), 0);
    EXPECT_EQ(s.integer("d"), 1000);
    EXPECT_EQ(s.integer("g"), -10);  // the fraction is dropped, toward zero
    EXPECT_EQ(s.integer("h"), 9007199254740993LL);
    EXPECT_EQ(s.integer("stored"), 10);
    EXPECT_EQ(s.integer("absent"), 0);

    // Values of the wrong type read as 0.
    EXPECT_EQ(s.real("wrong"), 0.0);
    EXPECT_EQ(s.integer("wrong"), 0);
    EXPECT_EQ(s.real("listed"), 0.0);
    EXPECT_EQ(s.text("wrong"), std::nullopt);

    // Typed values held by the store.
    auto typed = store();
    typed->setValue("int", 42);
    typed->setValue("double", 0.25);
    typed->setValue("list", QStringList{"1", "2"});
    LaunchSettings fromTyped({}, std::move(typed));
    EXPECT_EQ(fromTyped.real("int"), 42.0);
    EXPECT_EQ(fromTyped.integer("int"), 42);
    EXPECT_EQ(fromTyped.real("double"), 0.25);
    EXPECT_EQ(fromTyped.integer("double"), 0);
    EXPECT_EQ(fromTyped.real("list"), 0.0);
    EXPECT_EQ(fromTyped.text("int"), "42");
}

TEST_F(LaunchSettingsTest, BooleansReadLikeTheSettingsStore) {
    auto s = settings({"-t1", "true", "-t2", "YES", "-t3", "yes", "-t4", "1", "-t5", "TRUE", "-t6", "-2", "-t7", "0.5",
                       "-f1", "false", "-f2", "NO", "-f3", "0", "-f4", "", "-f5", "maybe", "-f6", "y", "-f7", "nan"},
                      "storedTrue=true\nstoredFalse=false\n");
    for (auto key : {"t1", "t2", "t3", "t4", "t5", "t6", "t7", "storedTrue"}) EXPECT_TRUE(s.boolean(key)) << key;
    for (auto key : {"f1", "f2", "f3", "f4", "f5", "f6", "f7", "storedFalse", "absent"})
        EXPECT_FALSE(s.boolean(key)) << key;

    auto typed = store();
    typed->setValue("on", true);
    typed->setValue("off", false);
    typed->setValue("three", 3);
    typed->setValue("zero", 0);
    LaunchSettings fromTyped({}, std::move(typed));
    EXPECT_TRUE(fromTyped.boolean("on"));
    EXPECT_FALSE(fromTyped.boolean("off"));
    EXPECT_TRUE(fromTyped.boolean("three"));
    EXPECT_FALSE(fromTyped.boolean("zero"));
}

TEST_F(LaunchSettingsTest, SetTextPersistsAndHoldsForTheRun) {
    auto s = settings({"-look", "Ledger"}, "look=Voice\n");
    EXPECT_EQ(s.text("look"), "Ledger");
    s.setText("look", "Present");
    EXPECT_EQ(s.text("look"), "Present");  // the launch value no longer hides it
    s.setText("startRange", "month");
    EXPECT_EQ(s.text("startRange"), "month");

    // On disk already, not only in this process's cache.
    std::string file = test::readFile(iniPath().toStdString());
    EXPECT_NE(file.find("look=Present"), std::string::npos) << file;
    EXPECT_NE(file.find("startRange=month"), std::string::npos) << file;
}

TEST_F(LaunchSettingsTest, TestSettingsEdgeCases) {
    auto none = TestSettings::fromLaunchArguments(settings({}));
    EXPECT_EQ(none.historyFolder, std::nullopt);
    EXPECT_EQ(none.usualOverride, std::nullopt);
    EXPECT_EQ(none.surgeWindowMinutes, std::nullopt);

    auto zero = TestSettings::fromLaunchArguments(settings({"-usualOverride", "0", "-surgeWindowMinutes", "0"}));
    EXPECT_EQ(zero.usualOverride, 0.0);  // present, so set
    EXPECT_EQ(zero.surgeWindowMinutes, std::nullopt);

    auto set = TestSettings::fromLaunchArguments(settings({"-usualOverride", "5.5"}, "surgeWindowMinutes=10\n"));
    EXPECT_EQ(set.usualOverride, 5.5);
    EXPECT_EQ(set.surgeWindowMinutes, 10);

    // Wrong-typed values fall back instead of failing.
    auto wrong = TestSettings::fromLaunchArguments(
        settings({"-usualOverride", "lots", "-surgeWindowMinutes", "ten"}));
    EXPECT_EQ(wrong.usualOverride, 0.0);
    EXPECT_EQ(wrong.surgeWindowMinutes, std::nullopt);
    EXPECT_EQ(TestSettings::fromLaunchArguments(settings({"-surgeWindowMinutes", "-4"})).surgeWindowMinutes,
              std::nullopt);
    EXPECT_EQ(TestSettings::fromLaunchArguments(settings({"-surgeWindowMinutes", "1"})).surgeWindowMinutes, 1);
    EXPECT_EQ(TestSettings::fromLaunchArguments(settings({"-surgeWindowMinutes", "99999999999"})).surgeWindowMinutes,
              INT_MAX);
}

TEST_F(LaunchSettingsTest, HistoryFolderFollowsHistoryThenReplayPath) {
    std::filesystem::path replayFolder = std::filesystem::path(QDir::tempPath().toStdString()) /
                                         "Quillmote-replay-history";
    auto replayOnly = TestSettings::fromLaunchArguments(settings({"-replayPath", "demo.json"}));
    EXPECT_EQ(replayOnly.historyFolder, replayFolder);

    auto both = TestSettings::fromLaunchArguments(
        settings({"-replayPath", "demo.json", "-historyPath", dir.path().string().c_str()}));
    EXPECT_EQ(both.historyFolder, dir.path());

    // A relative folder is taken from the current folder.
    auto relative = TestSettings::fromLaunchArguments(settings({"-historyPath", "history/here"}));
    ASSERT_TRUE(relative.historyFolder);
    EXPECT_TRUE(relative.historyFolder->is_absolute());
    EXPECT_EQ(*relative.historyFolder, std::filesystem::current_path() / "history" / "here");

    // A stored replay path moves history too.
    auto stored = TestSettings::fromLaunchArguments(settings({}, "replayPath=demo.json\n"));
    EXPECT_EQ(stored.historyFolder, replayFolder);
}

}  // namespace
}  // namespace quillmote
