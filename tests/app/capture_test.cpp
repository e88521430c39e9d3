#include <QDir>
#include <gtest/gtest.h>

#include "app/capture_player.h"
#include "app/capture_recorder.h"
#include "core/sightings/fixture.h"
#include "tests/support/app_setup.h"
#include "tests/support/sightings.h"

namespace quillmote {
namespace {

std::vector<Sighting> numbered(std::size_t count, std::size_t first = 0) {
    std::vector<Sighting> list;
    for (std::size_t i = first; i < first + count; ++i)
        list.push_back(test::lowEnergy("KEY-" + std::to_string(i), static_cast<double>(i) / 1000.0));
    return list;
}

TEST(CaptureRecorder, TakesItsPathAndWindowFromTheLaunchSettings) {
    test::TempDir dir;
    const auto recorder = [&](const QStringList& arguments) {
        return CaptureRecorder::fromLaunchArguments(test::launchSettings(dir, arguments), test::t0);
    };
    EXPECT_FALSE(recorder({"-captureSeconds", "5"}));
    // A window that is not a positive number of seconds is the default 20.
    for (const auto& [seconds, window] : {std::pair{"2.5", 2.5}, {"0", 20.0}, {"-3", 20.0}, {"", 20.0}}) {
        const auto made = recorder({"-capturePath", "c.json", "-captureSeconds", seconds});
        ASSERT_TRUE(made);
        EXPECT_DOUBLE_EQ(secondsBetween(test::t0, made->deadline()), window) << seconds;
    }
    const QString absolute = QString::fromStdString((dir.path() / "abs.json").string());
    EXPECT_EQ(recorder({"-capturePath", absolute})->path(), dir.path() / "abs.json");

    // A relative path lands in the temporary folder, where TempDir lives; it is
    // written at the first tick at the deadline, with that tick's sightings.
    const QString relative = QString::fromStdString((dir.path().filename() / "relative.json").string());
    auto inTemp = recorder({"-capturePath", relative, "-captureSeconds", "1"});
    EXPECT_FALSE(inTemp->written());
    inTemp->record(numbered(4), test::at(1));
    EXPECT_TRUE(inTemp->written());
    EXPECT_EQ(Fixture::decodeFile(dir.path() / "relative.json"), numbered(4));
}

TEST(CaptureRecorder, KeepsTheFirst20000AndWritesOnceAtTheDeadline) {
    test::TempDir dir;
    auto path = dir.write("capture.json", "an older capture");
    CaptureRecorder recorder(path, test::at(10));
    recorder.record(numbered(15000), test::at(1));
    recorder.record(numbered(10000, 15000), test::at(9.999));
    EXPECT_FALSE(recorder.written());
    EXPECT_EQ(test::readFile(path), "an older capture");

    recorder.record(numbered(5, 90000), test::at(10));  // at the deadline: nothing more fits, then written
    EXPECT_TRUE(recorder.written());
    EXPECT_EQ(Fixture::decodeFile(path), numbered(20000));

    // Never written again, even when the file goes away.
    std::filesystem::remove(path);
    recorder.record(numbered(3), test::at(30));
    EXPECT_FALSE(std::filesystem::exists(path));

    // A capture that cannot be written is given up quietly.
    CaptureRecorder unwritable(dir.path() / "missing" / "folder" / "capture.json", test::t0);
    EXPECT_NO_THROW(unwritable.record(numbered(2), test::at(1)));
    EXPECT_TRUE(unwritable.written());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

// The store's tests see the player keep time through its loop.
TEST(CapturePlayer, StartsOnceAndHandsOverAtOnceWhatIsDueAtTheStart) {
    test::TempDir dir;
    Sighting lamp = test::lowEnergy("A", 0, -70, test::named("Lamp"));
    const auto path = dir.write("capture.json", Fixture::encode(std::vector{test::lowEnergy("B", 0.1), lamp}));
    SightingBuffer buffer;
    auto player = CapturePlayer::fromLaunchArguments(
        test::launchSettings(dir, {"-replayPath", QString::fromStdString(path.string())}), buffer);
    const Instant startedAt = test::at(3600);
    player->start(startedAt);
    // Unchanged but for its time, counted from the start; a second start changes nothing.
    lamp.time = startedAt;
    EXPECT_EQ(buffer.drain(), std::vector{lamp});
    player->start(addingSeconds(startedAt, 5));
    EXPECT_EQ(player->startedAt(), startedAt);
}

// The message for a file that is no capture is checked where the store stops on it.
TEST(CapturePlayer, ReadsARelativePathFromTheCurrentFolderAndRefusesWhatIsNoCapture) {
    test::TempDir dir;
    SightingBuffer buffer;
    const auto player = [&](const QString& path) {
        return CapturePlayer::fromLaunchArguments(test::launchSettings(dir, {"-replayPath", path}), buffer);
    };
    EXPECT_FALSE(CapturePlayer::fromLaunchArguments(test::launchSettings(dir, {"-capturePath", "x.json"}), buffer));
    const auto good = dir.write("capture.json", Fixture::encode(numbered(3)));
    const QString relative = QDir::current().relativeFilePath(QString::fromStdString(good.string()));
    ASSERT_FALSE(QDir::isAbsolutePath(relative));
    EXPECT_EQ(player(relative)->replay().sightings(), numbered(3));
    EXPECT_THROW(player("no-such-capture.json"), CaptureLaunchError);
    EXPECT_THROW(player(QString::fromStdString(dir.path().string())), CaptureLaunchError);
}

}  // namespace
}  // namespace quillmote
