#include "app/activity_monitor.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <set>

namespace quillmote {

namespace {

std::optional<SurgeEvent> lastOpen(const std::vector<SurgeEvent>& surges) {
    for (auto it = surges.rbegin(); it != surges.rend(); ++it)
        if (!it->ended) return *it;
    return std::nullopt;
}

}  // namespace

ActivityMonitor::ActivityMonitor(SurgeNotifier& notifier, const TestSettings& settings, Calendar calendar,
                                 QObject* parent)
    : QObject(parent),
      notifier_(notifier),
      settings_(settings),
      calendar_(std::move(calendar)),
      history_(settings.historyFolder.value_or(HistoryFiles::defaultFolder())),
      detector_(std::nullopt, settings.surgeWindowMinutes.value_or(30)) {
    setAside_ = history_.setAsideUnreadable();
    surges_ = history_.loadSurges();
    presence_ = history_.loadNamedPresence();
    const Instant now = std::chrono::time_point_cast<Instant::duration>(std::chrono::system_clock::now());
    presence_.pruneOlderThan(HistoryFiles::retentionDays, now, calendar_);
    // A restart within a minute already stored must not store it again.
    const auto recent = history_.minutes(now - std::chrono::hours(24), Instant::max());
    if (!recent.empty()) lastClosed_ = recent.back().minute;
    // An episode still open when the program last stopped goes on.
    detector_ = SurgeDetector(lastOpen(surges_), settings.surgeWindowMinutes.value_or(30));
}

void ActivityMonitor::load(Instant now) {
    const Instant from = now - std::chrono::hours(24 * historyDaysShown);
    auto* watcher = new QFutureWatcher<std::vector<MinuteRecord>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, now] {
        std::vector<MinuteRecord> loaded = watcher->result();
        watcher->deleteLater();
        // Minutes closed while the worker read stay, after the history, once each.
        auto extraFrom = minutes_.begin();
        if (!loaded.empty())
            extraFrom = std::find_if(minutes_.begin(), minutes_.end(), [&](const MinuteRecord& m) {
                return m.minute > loaded.back().minute;
            });
        loaded.insert(loaded.end(), extraFrom, minutes_.end());
        minutes_ = std::move(loaded);
        refreshBaselineIfNeeded(now, true);
        emit this->loaded();
    });
    const HistoryFiles history = history_;
    watcher->setFuture(QtConcurrent::run([history, now, from] {
        history.pruneOlderThan(HistoryFiles::retentionDays, now);
        return history.minutes(from, now);
    }));
}

void ActivityMonitor::sample(std::span<const DeviceRecord> records, Instant now) {
    const auto around = static_cast<int>(std::count_if(records.begin(), records.end(), [now](const DeviceRecord& r) {
        return r.source == SightingSource::lowEnergy && Freshness::of(r, now) == Freshness::live;
    }));
    if (around != aroundNow_) {
        aroundNow_ = around;
        emit aroundNowChanged();
    }
    const auto names = namedDevices(records, now);
    presence_.heard(std::set<std::string>(names.begin(), names.end()), now, calendar_);

    if (auto closed = recorder_.sample(records, now)) store(*closed, records, now);
}

void ActivityMonitor::finish(std::span<const DeviceRecord> records, Instant now) {
    if (auto open = recorder_.closeOpenMinute(records)) store(*open, records, now);
}

void ActivityMonitor::store(const MinuteRecord& closed, std::span<const DeviceRecord> records, Instant now) {
    // After the wall clock was set back, its minutes come round again: the ones this
    // run already closed stand, so none is stored twice or out of order.
    if (lastClosed_ && closed.minute <= *lastClosed_) return;
    lastClosed_ = closed.minute;
    unsaved_.push_back(closed);
    if (unsaved_.size() > unsavedKept) unsaved_.pop_front();
    saveHistory();
    minutes_.push_back(closed);
    forgetOldHistory(now);
    refreshBaselineIfNeeded(now, false);
    evaluateSurge(records, now);
    emit minuteClosed();
}

// Writes the minutes still waiting, in order, then the named devices. A folder that
// cannot be written keeps them waiting; memory stays authoritative meanwhile.
void ActivityMonitor::saveHistory() {
    std::error_code error;
    while (!unsaved_.empty() && !(error = history_.append(unsaved_.front()))) unsaved_.pop_front();
    if (!error) error = history_.saveNamedPresence(presence_);
    noteSaving(error);
}

void ActivityMonitor::noteSaving(std::error_code error) {
    std::optional<std::string> problem;
    if (error) problem = error.message();
    if (problem == historyProblem_) return;
    historyProblem_ = std::move(problem);
    emit historySavingChanged();
}

// Once a day, so that months of running hold no more than the page shows and the
// files keep: the minutes of the days shown, the named devices' retained days and the
// episodes written.
void ActivityMonitor::forgetOldHistory(Instant now) {
    const auto today = calendar_.startOfDay(now);
    if (today == forgotUpTo_) return;
    forgotUpTo_ = today;
    const Instant oldest = now - std::chrono::hours(24 * (historyDaysShown + 1));
    minutes_.erase(minutes_.begin(), std::find_if(minutes_.begin(), minutes_.end(),
                                                  [oldest](const MinuteRecord& m) { return m.minute >= oldest; }));
    presence_.pruneOlderThan(HistoryFiles::retentionDays, now, calendar_);
    if (surges_.size() > surgesKept)
        surges_.erase(surges_.begin(), surges_.end() - static_cast<std::ptrdiff_t>(surgesKept));
}

void ActivityMonitor::refreshBaselineIfNeeded(Instant now, bool force) {
    const auto hour = calendar_.startOfHour(now);
    if (!force && hour == baselineHour_) return;
    baselineHour_ = hour;
    baseline_.emplace(minutes_, now, calendar_);
}

void ActivityMonitor::evaluateSurge(std::span<const DeviceRecord> records, Instant now) {
    const std::size_t window = std::min<std::size_t>(minutes_.size(), minutesWindow);
    const std::span<const MinuteRecord> recent(minutes_.data() + (minutes_.size() - window), window);
    auto usual = [this](Instant minute) { return usualLevel(baseline_, settings_.usualOverride, minute); };
    auto change = detector_.evaluate(recent, usual, now, [records, now] { return namedDevices(records, now); });
    if (!change) return;
    if (change->kind == SurgeDetector::Change::Kind::started) {
        surges_.push_back(change->event);
        notifier_.post(change->event);
    } else {
        auto same = std::find_if(surges_.rbegin(), surges_.rend(),
                                 [&](const SurgeEvent& e) { return e.id == change->event.id; });
        if (same != surges_.rend()) *same = change->event;
    }
    const std::size_t kept = std::min(surges_.size(), surgesKept);
    if (auto error = history_.saveSurges(
            std::vector<SurgeEvent>(surges_.end() - static_cast<std::ptrdiff_t>(kept), surges_.end())))
        noteSaving(error);
    emit surgesChanged();
}

ActivityMonitor::Normal ActivityMonitor::normal(Instant at) const {
    return normalAt(baseline_, settings_.usualOverride, at);
}

std::vector<std::string> ActivityMonitor::namedDevices(std::span<const DeviceRecord> records, Instant now) {
    std::set<std::string> names;
    for (const auto& record : records) {
        if (record.source != SightingSource::lowEnergy || !record.hasOwnName() ||
            Freshness::of(record, now) != Freshness::live)
            continue;
        names.insert(record.advertisement.localName ? *record.advertisement.localName : *record.cachedName);
    }
    return {names.begin(), names.end()};
}

}  // namespace quillmote
