// Main-thread time of one redraw of the activity page over 30 days of minutes: the
// page model, the charts' series and the repaint.
#include <QApplication>
#include <QDBusConnection>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "core/activity/history_files.h"
#include "ui/activity/activity_view.h"

namespace quillmote {
namespace {

void BM_ActivityPageRedraw(benchmark::State& state) {
    using namespace std::chrono;
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.filePath("history").toStdString();
    const Instant now = floor<seconds>(system_clock::now());
    const HistoryFiles history(folder);
    for (int m = 30 * 24 * 60; m > 0; --m)
        (void)history.append({floor<minutes>(now) - minutes(m), 60, 5 + (m / 60) % 24 * 0.75, m % 3, m % 5 == 0,
                              m % 7 == 0, m % 4});
    const Calendar calendar("Europe/Berlin", "de_DE");
    SurgeNotifier notifier(QDBusConnection(QStringLiteral("none")));
    ActivityMonitor monitor(notifier, TestSettings{folder, {}, {}}, calendar);
    bool loaded = false;
    QObject::connect(&monitor, &ActivityMonitor::loaded, [&] { loaded = true; });
    monitor.load(now);
    while (!loaded) QCoreApplication::processEvents();

    const auto range = state.range(0) == 0 ? ActivityRange::today : ActivityRange::month;
    ActivityView view(monitor, calendar, [now] { return now; }, range);
    view.resize(1100, 680);
    view.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        view.refresh();
        QCoreApplication::processEvents();  // the repaint
    }
    state.counters["minutes"] = static_cast<double>(monitor.minutes().size());
}
BENCHMARK(BM_ActivityPageRedraw)->Arg(0)->Arg(1)->ArgName("month")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillmote
