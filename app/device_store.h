#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/activity_monitor.h"
#include "app/bluetooth_status.h"
#include "app/capture_player.h"
#include "app/capture_recorder.h"
#include "app/click_synth.h"
#include "app/launch_settings.h"
#include "app/mqtt_publisher.h"
#include "app/scanner.h"
#include "app/sleep_inhibitor.h"
#include "app/surge_notifier.h"
#include "core/engine/store_engine.h"
#include "core/table/device_order.h"
#include "core/time/clock_step.h"

namespace quillmote {

// The one model every view reads: it owns the buffer, the table (through the tick
// engine), the display order, the find session's clicks and the activity monitor,
// starts the radio or a replay, and publishes the rows in display order once a
// second. Main thread only.
class DeviceStore : public QObject {
    Q_OBJECT

public:
    struct Buses {
        QDBusConnection session;
        QDBusConnection system;
    };

    // The wall clock stamps what is heard and recorded; the monotonic one, which
    // nothing sets, tells when the wall clock was set.
    struct Clock {
        std::function<Instant()> wall;
        std::function<double()> monotonicSeconds;
        static Clock system();
    };

    // On the user's session and system buses.
    DeviceStore(LaunchSettings& settings, Calendar calendar, QObject* parent = nullptr);
    // On given buses and clock, for tests with private peers.
    DeviceStore(LaunchSettings& settings, Calendar calendar, Buses buses, Clock clock = Clock::system(),
                QObject* parent = nullptr);
    ~DeviceStore() override;

    // The radio when no scanner is set stays at `starting`. During a replay the scanner
    // only reads the computer's paired devices.
    void setScannerFactory(std::function<std::unique_ptr<Scanner>()> factory) { makeScanner_ = std::move(factory); }

    // Starts the replay or the radio, the self-tests, the history load and the tick
    // loop; later calls do nothing. Throws CaptureLaunchError for an unusable replay
    // file, before anything has started.
    void start();

    // At a stop: the minute being counted is closed and stored as far as it got.
    void finish();

    void publish(bool resort);
    std::vector<DeviceRecord> visibleDevices() const;
    int clearableCount() const;
    // Drops the low-energy rows silent for 30 s as of now, then publishes in place.
    void clearSilent();
    static constexpr double clearSilentAfter = 30.0;  // seconds
    std::optional<DeviceRecord> record(const std::optional<std::string>& key) const;

    void startFinding(const std::string& key);
    void chooseFindCandidate(const std::string& key);
    // Ends the search and silences the clicks at once.
    void endFinding();

    BluetoothStatus status() const { return status_; }
    // Why the radio stays `starting`, once that has lasted a few seconds.
    BluetoothProblem problem() const { return problem_; }
    const std::vector<DeviceRecord>& devices() const { return devices_; }
    Instant publishedAt() const { return publishedAt_; }
    const std::optional<FindSession>& findSession() const { return engine_.findSession(); }
    const DeviceTable& table() const { return engine_.table(); }
    DeviceTable& table() { return engine_.table(); }
    ActivityMonitor& activity() { return *activity_; }
    SurgeNotifier& notifier() { return *notifier_; }
    ClickSynth& clicks() { return *clicks_; }
    // Publishing to MQTT, once started with an "mqttUrl"; nothing otherwise.
    MqttPublisher* mqtt() { return mqtt_.get(); }
    const Calendar& calendar() const { return calendar_; }
    // The launch and stored settings; the window stores its look there.
    LaunchSettings& settings() const { return settings_; }
    // The store's wall clock.
    Instant now() const { return clock_.wall(); }

    const std::optional<std::string>& selectedKey() const { return selectedKey_; }
    void setSelectedKey(std::optional<std::string> key);
    const QString& searchText() const { return searchText_; }
    void setSearchText(const QString& text);
    bool hideUnidentified() const { return hideUnidentified_; }
    void setHideUnidentified(bool hide);
    bool clicksEnabled() const { return clicksEnabled_; }
    void setClicksEnabled(bool enabled);
    const std::vector<DeviceOrder>& sortOrder() const { return sortOrder_; }
    // Stores the order and re-sorts, even when it is the current one.
    void setSortOrder(std::vector<DeviceOrder> order);

    static constexpr int tickMilliseconds = 125;

signals:
    // The status or its problem changed.
    void statusChanged();
    // Publishing started (`mqtt` is set) or its problem changed.
    void mqttChanged();
    void devicesChanged();
    void selectedKeyChanged();
    void searchTextChanged();
    void hideUnidentifiedChanged();
    void clicksEnabledChanged();
    void findSessionChanged();
    // Once a second, after the second's publish and activity step.
    void secondPassed();

private:
    LaunchSettings& settings_;
    Clock clock_;
    Calendar calendar_;
    TextOrder textOrder_;
    BluetoothStatus status_ = BluetoothStatus::starting;
    BluetoothProblem problem_ = BluetoothProblem::none;
    std::vector<DeviceRecord> devices_;
    Instant publishedAt_;
    std::optional<std::string> selectedKey_;
    QString searchText_;
    bool hideUnidentified_ = false;
    bool clicksEnabled_ = true;
    std::vector<DeviceOrder> sortOrder_;
    DisplayOrder displayOrder_;
    // Shared with the scanner's thread, which may still append while it shuts down.
    std::shared_ptr<SightingBuffer> buffer_ = std::make_shared<SightingBuffer>();
    StoreEngine engine_;
    std::unique_ptr<SurgeNotifier> notifier_;
    std::unique_ptr<ActivityMonitor> activity_;
    std::unique_ptr<ClickSynth> clicks_;
    std::unique_ptr<Scanner> scanner_;
    std::unique_ptr<CapturePlayer> player_;
    std::optional<CaptureRecorder> capture_;
    std::unique_ptr<SleepInhibitor> inhibitor_;
    std::unique_ptr<MqttPublisher> mqtt_;
    std::function<std::unique_ptr<Scanner>()> makeScanner_;
    QDBusConnection systemBus_;
    bool started_ = false;
    std::uint64_t tickCount_ = 0;
    Instant tickTime_;
    ClockStep clockStep_;

    void tick();
    void setStatus(BluetoothStatus status, BluetoothProblem problem = BluetoothProblem::none);
    void followClockStep(Instant::duration by);
    StoreEngine::Hooks engineHooks();
};

}  // namespace quillmote
