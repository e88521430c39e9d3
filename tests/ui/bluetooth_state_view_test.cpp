#include "ui/bluetooth_state_view.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "app/bluez_scanner.h"
#include "tests/ui/ui_support.h"
#include "ui/main_window.h"

namespace quillmote {
namespace {

using namespace std::chrono_literals;
using test::waitFor;

// A wrapped text is shown whole: its label is as tall as its lines need.
bool showsWholeMessage(const BluetoothStateView& view) {
    const auto* message = view.findChild<QLabel*>(QStringLiteral("message"));
    return message && message->isVisible() && message->height() >= message->heightForWidth(message->width());
}

// Nothing to listen with: the window first says it is connecting, then, after a while,
// what is missing and what to do, with the demo room on offer; both texts whole at the
// default size.
TEST(BluetoothStateView, SaysWhatIsMissingAndOffersTheDemo) {
    test::TempDir dir;
    const LaunchSettings settings(QStringList{"-historyPath", QString::fromStdString((dir.path() / "h").string())},
                                  std::make_unique<QSettings>(QString::fromStdString((dir.path() / "s.ini").string()),
                                                              QSettings::IniFormat));
    const QDBusConnection noBus(QStringLiteral("none"));
    DeviceStore store(settings, Calendar("UTC", "en_US"), DeviceStore::Buses{noBus, noBus});
    const QString missingBus = QStringLiteral("unix:path=") + QString::fromStdString((dir.path() / "bus").string());
    store.setScannerFactory([missingBus] {
        return std::make_unique<BluezScanner>(BluezScanner::Options{missingBus, 0ms, 50ms});
    });
    MainWindow window(store);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    BluetoothStateView& view = *window.bluetoothStateView();
    ASSERT_TRUE(waitFor([&] { return showsWholeMessage(view); }));
    EXPECT_EQ(view.message(), "Connecting to the system's Bluetooth service…");
    EXPECT_FALSE(view.offersDemo());
    EXPECT_TRUE(test::saveScreenshot(window, QStringLiteral("bluetooth-state-connecting")));

    store.start();
    ASSERT_TRUE(waitFor([&] { return store.problem() == BluetoothProblem::noSystemBus; }));
    ASSERT_TRUE(waitFor([&] { return showsWholeMessage(view); }));
    EXPECT_EQ(view.title().toStdString(), problemTitle(BluetoothProblem::noSystemBus));
    EXPECT_EQ(view.message().toStdString(), problemAdvice(BluetoothProblem::noSystemBus));
    EXPECT_TRUE(view.offersDemo());  // the build tree holds the demo capture where the program looks
    EXPECT_TRUE(test::saveScreenshot(window, QStringLiteral("bluetooth-state-no-bus")));
}

// The demo button starts the program again on the demo capture and closes this window.
TEST(BluetoothStateView, TheDemoButtonRestartsOnTheDemoCapture) {
    BluetoothStateView none(nullptr, QString());
    none.setStatus(BluetoothStatus::starting, BluetoothProblem::noBluetoothService);
    EXPECT_FALSE(none.offersDemo());

    BluetoothStateView view(nullptr, QStringLiteral("/demo/capture.json"));
    view.setStatus(BluetoothStatus::starting);
    EXPECT_FALSE(view.offersDemo());
    view.setStatus(BluetoothStatus::starting, BluetoothProblem::noBluetoothService);
    ASSERT_TRUE(view.offersDemo());
    QString program;
    QStringList arguments;
    view.setLauncher([&](const QString& started, const QStringList& given) {
        program = started;
        arguments = given;
        return true;
    });
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    auto buttons = view.findChildren<QPushButton*>();
    const auto demo = std::find_if(buttons.begin(), buttons.end(), [](QPushButton* b) { return b->isVisible(); });
    ASSERT_NE(demo, buttons.end());
    QTest::mouseClick(*demo, Qt::LeftButton);
    EXPECT_EQ(program, QCoreApplication::applicationFilePath());
    EXPECT_EQ(arguments.mid(arguments.size() - 2), (QStringList{"-replayPath", "/demo/capture.json"}));
    EXPECT_TRUE(waitFor([&] { return !view.isVisible(); }));
}

}  // namespace
}  // namespace quillmote
