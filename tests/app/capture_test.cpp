#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>

#include "app/capture_player.h"
#include "app/capture_recorder.h"
#include "core/sightings/fixture.h"
#include "tests/support/sightings.h"
#include "tests/support/temp_dir.h"

namespace quillmote {
namespace {

using namespace std::chrono_literals;

// Launch settings with the given arguments over an empty store in `dir`.
LaunchSettings launch(const test::TempDir& dir, const QStringList& arguments) {
    auto file = QString::fromStdString((dir.path() / "settings.ini").string());
    return LaunchSettings(arguments, std::make_unique<QSettings>(file, QSettings::IniFormat));
}

std::vector<Sighting> numbered(std::size_t count, std::size_t first = 0) {
    std::vector<Sighting> list;
    for (std::size_t i = first; i < first + count; ++i)
        list.push_back(test::lowEnergy("KEY-" + std::to_string(i), static_cast<double>(i) / 1000.0));
    return list;
}

TEST(CaptureRecorder, ReadsPathAndWindowFromLaunchSettings) {
    test::TempDir dir;
    Instant now = test::t0;
    EXPECT_FALSE(CaptureRecorder::fromLaunchArguments(launch(dir, {"-captureSeconds", "5"}), now));

    auto secondsFor = [&](const QStringList& arguments) {
        auto recorder = CaptureRecorder::fromLaunchArguments(launch(dir, arguments), now);
        EXPECT_TRUE(recorder);
        return recorder ? secondsBetween(now, recorder->deadline()) : -1.0;
    };
    EXPECT_DOUBLE_EQ(secondsFor({"-capturePath", "c.json", "-captureSeconds", "5"}), 5.0);
    EXPECT_DOUBLE_EQ(secondsFor({"-capturePath", "c.json", "-captureSeconds", "2.5"}), 2.5);
    EXPECT_DOUBLE_EQ(secondsFor({"-capturePath", "c.json", "-captureSeconds", "-3"}), 20.0);
    EXPECT_DOUBLE_EQ(secondsFor({"-capturePath", "c.json", "-captureSeconds", "0"}), 20.0);
    EXPECT_DOUBLE_EQ(secondsFor({"-capturePath", "c.json", "-captureSeconds", "soon"}), 20.0);
    EXPECT_DOUBLE_EQ(secondsFor({"-capturePath", "c.json"}), 20.0);

    auto absolute = CaptureRecorder::fromLaunchArguments(
        launch(dir, {"-capturePath", QString::fromStdString((dir.path() / "abs.json").string())}), now);
    ASSERT_TRUE(absolute);
    EXPECT_EQ(absolute->path(), dir.path() / "abs.json");
    EXPECT_FALSE(absolute->written());
}

TEST(CaptureRecorder, KeepsTheFirst20000AndWritesOnceAtTheDeadline) {
    test::TempDir dir;
    auto path = dir.write("capture.json", "an older capture");
    CaptureRecorder recorder(path, test::at(10));

    auto first = numbered(15000);
    auto second = numbered(10000, 15000);
    recorder.record(first, test::at(1));
    recorder.record(second, test::at(9.999));
    EXPECT_FALSE(recorder.written());
    EXPECT_EQ(test::readFile(path), "an older capture");

    recorder.record(numbered(5, 90000), test::at(10));  // at the deadline: nothing more fits, then written
    EXPECT_TRUE(recorder.written());
    auto stored = Fixture::decodeFile(path);
    ASSERT_EQ(stored.size(), 20000u);
    auto expected = numbered(20000);
    EXPECT_EQ(stored, expected);

    // Never written again, even when the file goes away.
    std::filesystem::remove(path);
    recorder.record(numbered(3), test::at(30));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(CaptureRecorder, WritesWhatItHasAtTheFirstTickPastTheDeadline) {
    test::TempDir dir;
    CaptureRecorder recorder(dir.path() / "capture.json", test::at(5));
    recorder.record(numbered(2), test::at(1));
    recorder.record({}, test::at(4));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "capture.json"));
    recorder.record(numbered(1, 2), test::at(7));  // this tick's sightings are still kept
    EXPECT_TRUE(recorder.written());
    EXPECT_EQ(Fixture::decodeFile(dir.path() / "capture.json"), numbered(3));
}

TEST(CaptureRecorder, RelativePathLandsInTheTemporaryFolderAndFailuresAreIgnored) {
    // TempDir lives in the temporary folder, so its name is a path relative to it.
    test::TempDir dir;
    QString relative = QString::fromStdString((dir.path().filename() / "relative.json").string());
    auto recorder = CaptureRecorder::fromLaunchArguments(
        launch(dir, {"-capturePath", relative, "-captureSeconds", "1"}), test::t0);
    ASSERT_TRUE(recorder);
    recorder->record(numbered(4), test::at(1));
    EXPECT_TRUE(recorder->written());
    EXPECT_EQ(Fixture::decodeFile(dir.path() / "relative.json"), numbered(4));

    CaptureRecorder unwritable(dir.path() / "missing" / "folder" / "capture.json", test::t0);
    EXPECT_NO_THROW(unwritable.record(numbered(2), test::at(1)));
    EXPECT_TRUE(unwritable.written());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

// Gathers what arrives in the buffer, running the event loop until `count`
// sightings are in. The long stop only ends a hung test.
std::vector<Sighting> collect(SightingBuffer& buffer, std::size_t count, std::vector<Sighting> got = {}) {
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (auto& sighting : buffer.drain()) got.push_back(std::move(sighting));
        if (got.size() >= count) loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return got;
}

TEST(CapturePlayer, DeliversEveryDueSightingOncePerLoop) {
    test::TempDir dir;
    // Offsets 0, 0.1 and 0.25 s: a loop of 1.25 s. Stored out of order on purpose.
    std::vector<Sighting> capture{test::lowEnergy("B", 0.1), test::lowEnergy("A", 0),
                                  test::lowEnergy("C", 0.25, -70, test::named("Lamp"))};
    auto path = dir.write("capture.json", Fixture::encode(capture));

    SightingBuffer buffer;
    auto player = CapturePlayer::fromLaunchArguments(
        launch(dir, {"-replayPath", QString::fromStdString(path.string())}), buffer);
    ASSERT_TRUE(player);
    EXPECT_FALSE(player->isStarted());
    EXPECT_TRUE(buffer.drain().empty());

    const Instant startedAt = std::chrono::time_point_cast<Instant::duration>(std::chrono::system_clock::now());
    player->start(startedAt);
    EXPECT_TRUE(player->isStarted());

    // The first pass hands over what is due at offset 0 at once; a second start changes nothing.
    auto got = buffer.drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].deviceKey, "A");
    player->start(addingSeconds(startedAt, 5));
    EXPECT_EQ(player->startedAt(), startedAt);
    EXPECT_TRUE(buffer.drain().empty());

    // Two whole loops: each sighting once in each, in schedule order.
    got = collect(buffer, 6, std::move(got));
    ASSERT_GE(got.size(), 6u);
    const std::vector<std::pair<std::string, double>> expected{{"A", 0.0},  {"B", 0.1},  {"C", 0.25}, {"A", 1.25},
                                                               {"B", 1.35}, {"C", 1.5}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].deviceKey, expected[i].first);
        EXPECT_LE(std::chrono::abs(got[i].time - addingSeconds(startedAt, expected[i].second)), 1us);
    }
    // Everything but the time is replayed unchanged.
    EXPECT_EQ(got[5].advertisement.localName, "Lamp");
    EXPECT_EQ(got[5].rssi, -70);
}

TEST(CapturePlayer, ReportsWhyAReplayFileCannotBeRead) {
    test::TempDir dir;
    SightingBuffer buffer;
    EXPECT_EQ(CapturePlayer::fromLaunchArguments(launch(dir, {"-capturePath", "x.json"}), buffer), nullptr);

    Advertisement ad;
    ad.manufacturerData = Bytes{0x4C, 0x00, 0x02};
    std::string text = Fixture::encode(std::vector{test::lowEnergy("A", 0, -60, ad)});
    auto hex = text.find("\"4C 00 02\"");
    ASSERT_NE(hex, std::string::npos);
    text.replace(hex, 10, "\"4C 00 0\"");
    QString badPath = QString::fromStdString(dir.write("bad.json", text).string());
    try {
        CapturePlayer::fromLaunchArguments(launch(dir, {"-replayPath", badPath}), buffer);
        ADD_FAILURE() << "a bad capture was accepted";
    } catch (const CaptureLaunchError& error) {
        EXPECT_EQ(error.path(), badPath);
        EXPECT_NE(error.reason().find("Not hex: 4C 00 0"), std::string::npos) << error.reason();
        EXPECT_EQ(std::string(error.what()),
                  "-replayPath " + badPath.toStdString() + " couldn't be read as a capture: " + error.reason());
    }

    for (QString path : {QString("no-such-capture.json"), QString::fromStdString(dir.path().string())}) {
        try {
            CapturePlayer::fromLaunchArguments(launch(dir, {"-replayPath", path}), buffer);
            ADD_FAILURE() << "read " << path.toStdString();
        } catch (const CaptureLaunchError& error) {
            EXPECT_FALSE(error.reason().empty());
            EXPECT_EQ(std::string(error.what()).rfind("-replayPath " + path.toStdString() + " couldn't be read", 0), 0u);
        }
    }
}

TEST(CapturePlayer, RelativeReplayPathIsTakenFromTheCurrentFolder) {
    test::TempDir dir;
    auto path = dir.write("capture.json", Fixture::encode(numbered(3)));
    QString relative = QDir::current().relativeFilePath(QString::fromStdString(path.string()));
    ASSERT_FALSE(QDir::isAbsolutePath(relative));
    SightingBuffer buffer;
    auto player = CapturePlayer::fromLaunchArguments(launch(dir, {"-replayPath", relative}), buffer);
    ASSERT_TRUE(player);
    EXPECT_EQ(player->replay().sightings(), numbered(3));
}

}  // namespace
}  // namespace quillmote
