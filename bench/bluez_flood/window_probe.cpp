// The window's side of the hostile-radio measurement (run.sh --hostile drives it): the
// whole window, offscreen, over a store on DBUS_SYSTEM_BUS_ADDRESS. A 10 ms timer on the
// main thread notes how late each of its wake-ups comes, which is how long a click or
// a key would wait. After the given seconds it prints, as JSON, those delays, the rows
// shown and the resident memory at the start and the end.
#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/bluez_scanner.h"
#include "app/device_store.h"
#include "ui/main_window.h"

namespace {

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
    return 0;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 75.0;
    using namespace quillmote;
    QTemporaryDir dir;
    LaunchSettings settings(QStringList{"-historyPath", dir.filePath("history")},
                            std::make_unique<QSettings>(dir.filePath("settings.ini"), QSettings::IniFormat));
    DeviceStore store(settings, Calendar("UTC", "en_US"),
                      DeviceStore::Buses{QDBusConnection(QStringLiteral("none")), QDBusConnection(QStringLiteral("none"))});
    store.setScannerFactory([] { return std::make_unique<BluezScanner>(); });
    MainWindow window(store);
    window.resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
    window.show();
    store.start();

    const long residentAtStart = residentKilobytes();
    std::vector<double> lateMs;
    QElapsedTimer clock;
    clock.start();
    qint64 due = 10;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        lateMs.push_back(static_cast<double>(std::max<qint64>(0, now - due)));
        due = now + 10;
    });
    probe.start(10);
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, &QCoreApplication::quit);
    QApplication::exec();

    std::printf("{\"seconds\": %.0f, \"rows\": %zu, \"wakeUps\": %zu, "
                "\"lateMs\": {\"median\": %.0f, \"p99\": %.0f, \"p999\": %.0f, \"max\": %.0f}, "
                "\"residentKB\": {\"start\": %ld, \"end\": %ld}}\n",
                seconds, store.devices().size(), lateMs.size(), percentile(lateMs, 0.5), percentile(lateMs, 0.99), percentile(lateMs, 0.999),
                lateMs.empty() ? 0.0 : *std::max_element(lateMs.begin(), lateMs.end()), residentAtStart,
                residentKilobytes());
    return 0;
}
