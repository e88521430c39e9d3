// Main-thread time of one publish into the window: the store copies its rows in
// display order, the list applies them and the table repaints.
#include <QApplication>
#include <QDBusConnection>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "app/device_store.h"
#include "ui/device_detail_view.h"
#include "ui/looks/look_page.h"
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
        // The selected row shows a full packet log (100 rows) on the raw data tab.
        for (int k = 0; k < (i == count / 2 ? 150 : 3); ++k)
            sightings.emplace_back(SightingSource::lowEnergy, key, addingSeconds(now, -10 + k * 0.05), -40 - (i % 55),
                                   std::nullopt, ad);
    }
    return sightings;
}

// A store holding that room, with its settings in a temporary folder and no buses.
struct BenchStore {
    QTemporaryDir dir;
    LaunchSettings settings{QStringList{"-historyPath", dir.filePath("history")},
                            std::make_unique<QSettings>(dir.filePath("settings.ini"), QSettings::IniFormat)};
    DeviceStore store{settings, Calendar("UTC", "en_US"),
                      DeviceStore::Buses{QDBusConnection(QStringLiteral("none")), QDBusConnection(QStringLiteral("none"))}};

    explicit BenchStore(int devices) { store.table().absorb(room(devices)); }
};

enum class Detail { none, summary, raw };

void publishInto(benchmark::State& state, bool withSort, Detail detail = Detail::none) {
    BenchStore bench(static_cast<int>(state.range(0)));
    DeviceStore& store = bench.store;
    MainWindow window(store);
    window.resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
    window.show();
    if (withSort) store.setSortOrder({DeviceOrder{DeviceOrder::Field::name, SortDirection::forward}});
    if (detail != Detail::none) {
        store.publish(false);
        store.setSelectedKey(store.devices()[store.devices().size() / 2].id);
        window.detailView()->setTab(detail == Detail::raw ? DeviceDetailView::Tab::raw : DeviceDetailView::Tab::summary);
    }
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
// With a device selected, its detail is rebuilt on every publish as well.
void BM_PublishWithSummaryShown(benchmark::State& state) { publishInto(state, false, Detail::summary); }
void BM_PublishWithRawDataShown(benchmark::State& state) { publishInto(state, false, Detail::raw); }
BENCHMARK(BM_PublishCreationOrder)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PublishWithSummaryShown)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PublishWithRawDataShown)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PublishResortedByName)->Arg(1000)->Unit(benchmark::kMillisecond);

// One publish into a look: the page lays the rows out as shaped type and repaints.
// Warm, lines and outlines come from the caches, as when readings hold still; cold,
// every line is shaped and every glyph drawn afresh.
void BM_PublishIntoLook(benchmark::State& state) {
    BenchStore bench(static_cast<int>(state.range(1)));
    DeviceStore& store = bench.store;
    LookFonts fonts;
    LookPage page(store, fonts);
    page.setLook(allLooks[static_cast<std::size_t>(state.range(0))]);
    page.resize(MainWindow::defaultWidth, MainWindow::defaultHeight - 60);
    page.show();
    store.publish(false);
    store.setSelectedKey(store.devices()[2].id);
    page.refresh();
    QCoreApplication::processEvents();
    const bool cold = state.range(2) == 1;
    for (auto _ : state) {
        if (cold) fonts.forgetShapes();
        store.publish(false);
        page.refresh();
        QCoreApplication::processEvents();  // the repaint
    }
    state.SetLabel(std::string(rawValue(page.look())) + (cold ? ", cold" : ", warm"));
}
BENCHMARK(BM_PublishIntoLook)
    ->ArgsProduct({{1, 2, 3}, {300}, {0, 1}})
    ->ArgNames({"look", "rows", "cold"})
    ->Unit(benchmark::kMillisecond);

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
