#pragma once

#include <QObject>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/launch_settings.h"
#include "app/surge_notifier.h"
#include "core/activity/activity_recorder.h"
#include "core/activity/baseline.h"
#include "core/activity/history_files.h"
#include "core/activity/named_presence.h"
#include "core/activity/normal.h"
#include "core/activity/surge_detector.h"
#include "core/time/calendar.h"

namespace quillmote {

// The activity side of the store: turns the records sampled once a second into the
// count around now, named presence, closed minutes (kept and appended to the day
// files), the usual level, and surge episodes that it stores and notifies. Main
// thread only, except the history read at load, which runs in a worker.
class ActivityMonitor : public QObject {
    Q_OBJECT

public:
    using Normal = quillmote::Normal;

    static constexpr int minutesWindow = 120;     // minutes handed to each surge evaluation
    static constexpr std::size_t surgesKept = 500; // episodes written to the file
    static constexpr int historyDaysShown = 30;
    static constexpr std::size_t unsavedKept = 1440;  // a day of minutes waits for a writable folder

    ActivityMonitor(SurgeNotifier& notifier, const TestSettings& settings, Calendar calendar,
                    QObject* parent = nullptr);

    // Prunes and reads the stored history in a worker; `loaded` follows on this thread.
    void load(Instant now);
    void sample(std::span<const DeviceRecord> records, Instant now);
    // Closes and stores the minute being counted, as far as it got: at a stop.
    void finish(std::span<const DeviceRecord> records, Instant now);
    // After the wall clock was set back: what the recorder remembers moves with it.
    void shiftTimes(Instant::duration by) { recorder_.shiftTimes(by); }
    Normal normal(Instant at) const;

    const std::vector<MinuteRecord>& minutes() const { return minutes_; }
    const std::vector<SurgeEvent>& surges() const { return surges_; }
    const std::optional<Baseline>& baseline() const { return baseline_; }
    int aroundNow() const { return aroundNow_; }
    const NamedPresence& presence() const { return presence_; }
    std::optional<double> usualOverride() const { return settings_.usualOverride; }
    const HistoryFiles& history() const { return history_; }
    // Why the history is not being saved ("File too large"), or nothing while it is.
    const std::optional<std::string>& historyProblem() const { return historyProblem_; }
    // Documents found unreadable at start and renamed out of the way, a line each.
    const std::vector<std::string>& setAside() const { return setAside_; }

signals:
    void historySavingChanged();
    void aroundNowChanged();
    void minuteClosed();
    void surgesChanged();
    void loaded();

private:
    SurgeNotifier& notifier_;
    TestSettings settings_;
    Calendar calendar_;
    HistoryFiles history_;
    ActivityRecorder recorder_;
    SurgeDetector detector_;
    std::vector<MinuteRecord> minutes_;
    std::vector<SurgeEvent> surges_;
    std::optional<Baseline> baseline_;
    std::optional<Instant> baselineHour_;
    int aroundNow_ = 0;
    std::optional<Instant> lastClosed_;
    std::optional<Instant> forgotUpTo_;  // the day whose start the last trim ran in
    NamedPresence presence_;
    std::deque<MinuteRecord> unsaved_;  // closed but not yet on disk, oldest first
    std::optional<std::string> historyProblem_;
    std::vector<std::string> setAside_;

    void store(const MinuteRecord& closed, std::span<const DeviceRecord> records, Instant now);
    void saveHistory();
    void noteSaving(std::error_code error);
    void forgetOldHistory(Instant now);
    void refreshBaselineIfNeeded(Instant now, bool force);
    void evaluateSurge(std::span<const DeviceRecord> records, Instant now);
    static std::vector<std::string> namedDevices(std::span<const DeviceRecord> records, Instant now);
};

}  // namespace quillmote
