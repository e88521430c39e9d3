// Main-thread time of one publish into the window: the store copies its rows in
// display order, the list applies them and the table repaints.
#include <QApplication>
#include <QDBusConnection>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "app/device_store.h"
#include "ui/main_window.h"

namespace quillmote {
namespace {

Instant wallNow() { return std::chrono::time_point_cast<Instant::duration>(std::chrono::system_clock::now()); }

// A room of `count` devices: named phones, Apple messages and beacons.
std::vector<Sighting> room(int count) {
    std::vector<Sighting> sightings;
    const Instant now = wallNow();
    for (int i = 0; i < count; ++i) {
        char key[18];
        std::snprintf(key, sizeof key, "C0:00:00:00:%02X:%02X", (i >> 8) & 0xFF, i & 0xFF);
        Advertisement ad;
        if (i % 3 == 0) ad.localName = "Phone " + std::to_string(i);
        if (i % 3 == 1) ad.manufacturerData = std::vector<std::uint8_t>{0x4C, 0x00, 0x10, 0x05, 0x01, 0x18, 0x44, 0x00, 0x00};
        if (i % 3 == 2) ad.txPower = 4;
        for (int k = 0; k < 3; ++k)
            sightings.emplace_back(SightingSource::lowEnergy, key, addingSeconds(now, -k), -40 - (i % 55),
                                   std::nullopt, ad);
    }
    return sightings;
}

void publishInto(benchmark::State& state, bool withSort) {
    QTemporaryDir dir;
    const LaunchSettings settings(QStringList{"-historyPath", dir.filePath("history")},
                                  std::make_unique<QSettings>(dir.filePath("settings.ini"), QSettings::IniFormat));
    DeviceStore store(settings, Calendar("UTC", "en_US"),
                      DeviceStore::Buses{QDBusConnection(QStringLiteral("none")), QDBusConnection(QStringLiteral("none"))});
    store.table().absorb(room(static_cast<int>(state.range(0))));
    MainWindow window(store);
    window.resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
    window.show();
    if (withSort) store.setSortOrder({DeviceOrder{DeviceOrder::Field::name, SortDirection::forward}});
    store.publish(false);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        store.publish(withSort);
        QCoreApplication::processEvents();  // the repaint
    }
    state.counters["rows"] = static_cast<double>(store.devices().size());
}

void BM_PublishCreationOrder(benchmark::State& state) { publishInto(state, false); }
void BM_PublishResortedByName(benchmark::State& state) { publishInto(state, true); }
BENCHMARK(BM_PublishCreationOrder)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PublishResortedByName)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillmote

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
