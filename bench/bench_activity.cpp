// Ninety days of minute history: read back from the day files, then turned into the
// usual levels and the 30-day chart series, as the activity monitor does at start.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "core/activity/activity_page.h"
#include "core/activity/activity_series.h"
#include "core/activity/baseline.h"
#include "core/activity/history_files.h"

namespace {

using namespace quillmote;
using namespace std::chrono;

constexpr int historyDays = 90;

class NinetyDays {
public:
    NinetyDays() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillmote-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        folder_ = pattern;
        HistoryFiles history(folder_);
        const Instant first = floor<days_unit>(now_) - hours(24 * historyDays);
        for (int m = 0; m < historyDays * 24 * 60; ++m) {
            const double hourOfDay = (m / 60) % 24;
            MinuteRecord record{first + minutes(m), 55 + m % 6, 5 + hourOfDay * 0.75 + (m % 7) * 0.1, m % 3, m % 5 == 0,
                                m % 7 == 0, m % 4};
            if (history.append(record)) std::abort();
        }
    }
    ~NinetyDays() { std::filesystem::remove_all(folder_); }

    const std::filesystem::path& folder() const { return folder_; }
    Instant now() const { return now_; }

private:
    using days_unit = std::chrono::days;
    std::filesystem::path folder_;
    Instant now_ = floor<seconds>(system_clock::now());
};

void BM_LoadHistoryBaselineAndSeries(benchmark::State& state) {
    static const NinetyDays history;
    const Calendar calendar("Europe/Berlin", "de_DE");
    std::size_t loaded = 0;
    for (auto _ : state) {
        HistoryFiles files(history.folder());
        auto minutes = files.minutes(history.now() - hours(24 * historyDays), history.now());
        Baseline baseline(minutes, history.now(), calendar);
        auto daily = ActivitySeries::daily(minutes, 30, history.now(), calendar);
        auto hourly = ActivitySeries::hourly(minutes, history.now(), calendar);
        benchmark::DoNotOptimize(baseline.usual(history.now()));
        benchmark::DoNotOptimize(daily.data());
        benchmark::DoNotOptimize(hourly.data());
        loaded = minutes.size();
    }
    state.counters["minutes"] = static_cast<double>(loaded);
}
BENCHMARK(BM_LoadHistoryBaselineAndSeries)->Unit(benchmark::kMillisecond);

// The activity page's model over 30 days of minutes (43,200 records) with its usual
// levels, 40 crowds and a dozen named devices: what each redraw of the page computes.
void BM_ActivityPageModel(benchmark::State& state) {
    const Calendar calendar("Europe/Berlin", "de_DE");
    const Instant now = floor<seconds>(system_clock::now());
    std::vector<MinuteRecord> minutes;
    for (int m = 30 * 24 * 60; m > 0; --m) {
        const double hourOfDay = (m / 60) % 24;
        minutes.push_back({floor<std::chrono::minutes>(now) - std::chrono::minutes(m), 55 + m % 6,
                           5 + hourOfDay * 0.75 + (m % 7) * 0.1, m % 3, m % 5 == 0, m % 7 == 0, m % 4});
    }
    const std::optional<Baseline> baseline(std::in_place, minutes, now, calendar);
    std::vector<SurgeEvent> surges;
    for (int i = 40; i > 0; --i) surges.push_back({Uuid{}, now - hours(17 * i), now - hours(17 * i - 1), 9, 20, 24, {"TV"}});
    NamedPresence presence;
    for (int d = 0; d < 28; ++d)
        for (int n = 0; n < 12; ++n)
            presence.days["Device " + std::to_string(n)][NamedPresence::dayKey(now - hours(24 * d), calendar)] = {now, 600};
    const auto range = state.range(0) == 0 ? ActivityRange::today : ActivityRange::month;
    for (auto _ : state) {
        const ActivityPage page =
            buildActivityPage({minutes, baseline, surges, presence, 12, std::nullopt, range, now}, calendar);
        benchmark::DoNotOptimize(page.summary.data());
    }
    state.counters["minutes"] = static_cast<double>(minutes.size());
}
BENCHMARK(BM_ActivityPageModel)->Arg(0)->Arg(1)->ArgName("month")->Unit(benchmark::kMillisecond);

}  // namespace
