#include "app/device_store.h"

#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <chrono>

namespace quillmote {

namespace {

constexpr double clickSelfTestRate = 6.0;
constexpr int clickSelfTestMilliseconds = 2000;

}  // namespace

DeviceStore::Clock DeviceStore::Clock::system() {
    return {[] { return std::chrono::time_point_cast<Instant::duration>(std::chrono::system_clock::now()); },
            [] { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }};
}

DeviceStore::DeviceStore(LaunchSettings& settings, Calendar calendar, QObject* parent)
    : DeviceStore(settings, std::move(calendar), Buses{QDBusConnection::sessionBus(), QDBusConnection::systemBus()},
                  Clock::system(), parent) {}

DeviceStore::DeviceStore(LaunchSettings& settings, Calendar calendar, Buses buses, Clock clock,
                         QObject* parent)
    : QObject(parent),
      settings_(settings),
      clock_(std::move(clock)),
      calendar_(std::move(calendar)),
      publishedAt_(clock_.wall()),
      engine_(*buffer_, engineHooks()),
      notifier_(std::make_unique<SurgeNotifier>(buses.session)),
      activity_(std::make_unique<ActivityMonitor>(*notifier_, TestSettings::fromLaunchArguments(settings), calendar_)),
      clicks_(std::make_unique<ClickSynth>()),
      capture_(CaptureRecorder::fromLaunchArguments(settings, clock_.wall())),
      systemBus_(buses.system) {}

DeviceStore::~DeviceStore() = default;

StoreEngine::Hooks DeviceStore::engineHooks() {
    StoreEngine::Hooks hooks;
    hooks.drained = [this](std::span<const Sighting> drained) {
        if (capture_ && !capture_->written()) capture_->record(drained, tickTime_);
    };
    hooks.pairedDevices = [this]() -> std::optional<std::vector<Sighting>> {
        if (status_ != BluetoothStatus::ready || !scanner_) return std::nullopt;
        return scanner_->pairedDevices();
    };
    hooks.publish = [this] { publish(false); };
    hooks.clickRate = [this](double rate) { clicks_->setRate(clicksEnabled_ ? rate : 0.0); };
    hooks.activity = [this](std::span<const DeviceRecord> records, Instant now) {
        if (status_ == BluetoothStatus::ready) activity_->sample(records, now);
        emit secondPassed();
    };
    return hooks;
}

void DeviceStore::start() {
    if (started_) return;
    // An unusable replay file stops everything before anything has started.
    player_ = CapturePlayer::fromLaunchArguments(settings_, *buffer_);
    started_ = true;
    inhibitor_ = std::make_unique<SleepInhibitor>(systemBus_);
    if (makeScanner_) scanner_ = makeScanner_();
    if (player_) {
        setStatus(BluetoothStatus::ready);
        player_->start(clock_.wall());
        // Only the computer's real paired devices: no discovery, nothing heard among the
        // replay's sightings, and the replay's status stands whatever BlueZ's is.
        if (scanner_) scanner_->start(nullptr, [](BluetoothStatus, BluetoothProblem) {});
    } else if (scanner_) {
        QPointer<DeviceStore> self(this);
        scanner_->start(buffer_, [self](BluetoothStatus status, BluetoothProblem problem) {
            QMetaObject::invokeMethod(
                self, [self, status, problem] { if (self) self->setStatus(status, problem); }, Qt::QueuedConnection);
        });
    }

    if (settings_.boolean(QStringLiteral("clickSelfTest"))) {
        clicks_->setRate(clickSelfTestRate);
        QTimer::singleShot(clickSelfTestMilliseconds, this, [this] { clicks_->setRate(0.0); });
    }
    // The start-up task runs beside the tick loop, which does not wait for it.
    connect(activity_.get(), &ActivityMonitor::loaded, this, [this] {
        if (!settings_.text(QStringLiteral("replayPath"))) notifier_->requestPermission();
        notifier_->postSelfTestIfRequested(settings_.boolean(QStringLiteral("notifySelfTest")));
    }, Qt::SingleShotConnection);
    activity_->load(clock_.wall());
    if (settings_.contains(QStringLiteral("mqttUrl"))) {
        mqtt_ = std::make_unique<MqttPublisher>(settings_, *this);
        connect(mqtt_.get(), &MqttPublisher::problemChanged, this, &DeviceStore::mqttChanged);
        emit mqttChanged();
    }

    tick();
}

void DeviceStore::finish() {
    if (started_ && status_ == BluetoothStatus::ready) activity_->finish(devices_, clock_.wall());
}

void DeviceStore::tick() {
    tickTime_ = clock_.wall();
    followClockStep(clockStep_.observe(tickTime_, clock_.monotonicSeconds()));
    engine_.tick(tickCount_++, tickTime_);
    if (engine_.findSession()) emit findSessionChanged();
    // Re-armed after the tick's own work, so a slow tick never piles up others.
    QTimer::singleShot(tickMilliseconds, Qt::PreciseTimer, this, &DeviceStore::tick);
}

void DeviceStore::publish(bool resort) {
    const std::optional<DeviceOrder> sort =
        sortOrder_.empty() ? std::nullopt : std::optional<DeviceOrder>(sortOrder_.front());
    displayOrder_.update(engine_.table(), sort, resort, textOrder_);
    devices_.clear();
    devices_.reserve(displayOrder_.keys.size());
    for (const auto& key : displayOrder_.keys)
        if (const DeviceRecord* row = engine_.table().record(key)) devices_.push_back(*row);
    publishedAt_ = clock_.wall();
    emit devicesChanged();
}

std::vector<DeviceRecord> DeviceStore::visibleDevices() const {
    QString query = searchText_;
    while (!query.isEmpty() && (query.front() == u' ' || query.front() == u'\t')) query.remove(0, 1);
    while (!query.isEmpty() && (query.back() == u' ' || query.back() == u'\t')) query.chop(1);
    query = query.toLower();
    std::vector<DeviceRecord> visible;
    for (const auto& row : devices_) {
        const DeviceIdentity& identity = row.identity;
        const bool hidden = hideUnidentified_ && identity.kind == DeviceKind::unknown && !identity.maker &&
                            !row.advertisement.localName && !row.cachedName;
        if (hidden) continue;
        if (!query.isEmpty()) {
            const std::string text = row.displayName() + " " + identity.label + " " +
                                     std::string(rawValue(identity.kind)) + " " + identity.maker.value_or("") + " " +
                                     row.id;
            if (!QString::fromStdString(text).toLower().contains(query)) continue;
        }
        visible.push_back(row);
    }
    return visible;
}

int DeviceStore::clearableCount() const {
    return static_cast<int>(std::count_if(devices_.begin(), devices_.end(), [this](const DeviceRecord& row) {
        return row.source == SightingSource::lowEnergy && Freshness::of(row, publishedAt_) == Freshness::silent;
    }));
}

void DeviceStore::clearSilent() {
    engine_.table().removeSilent(clock_.wall(), clearSilentAfter);
    publish(false);
}

std::optional<DeviceRecord> DeviceStore::record(const std::optional<std::string>& key) const {
    if (!key) return std::nullopt;
    for (const auto& row : devices_)
        if (row.id == *key) return row;
    return std::nullopt;
}

void DeviceStore::startFinding(const std::string& key) {
    engine_.startFinding(key);
    emit findSessionChanged();
}

void DeviceStore::chooseFindCandidate(const std::string& key) {
    engine_.chooseFindCandidate(key);
    emit findSessionChanged();
}

void DeviceStore::endFinding() {
    engine_.endFinding();
    clicks_->setRate(0.0);
    emit findSessionChanged();
}

void DeviceStore::followClockStep(Instant::duration by) {
    if (by == Instant::duration::zero()) return;
    // What stamps the wall clock follows every step.
    if (player_) player_->shiftTimes(by);
    if (capture_) capture_->shiftDeadline(by);
    // The live state follows a step back only; a step forward (the machine slept, or
    // a first time sync) reads as that much time passed.
    if (by > Instant::duration::zero()) return;
    engine_.wallClockSetBack(by, tickTime_);
    activity_->shiftTimes(by);
    publishedAt_ += by;
}

void DeviceStore::setStatus(BluetoothStatus status, BluetoothProblem problem) {
    if (status == status_ && problem == problem_) return;
    status_ = status;
    problem_ = problem;
    emit statusChanged();
}

void DeviceStore::setSelectedKey(std::optional<std::string> key) {
    if (key == selectedKey_) return;
    selectedKey_ = std::move(key);
    emit selectedKeyChanged();
}

void DeviceStore::setSearchText(const QString& text) {
    if (text == searchText_) return;
    searchText_ = text;
    emit searchTextChanged();
}

void DeviceStore::setHideUnidentified(bool hide) {
    if (hide == hideUnidentified_) return;
    hideUnidentified_ = hide;
    emit hideUnidentifiedChanged();
}

void DeviceStore::setClicksEnabled(bool enabled) {
    if (enabled == clicksEnabled_) return;
    clicksEnabled_ = enabled;
    emit clicksEnabledChanged();
}

void DeviceStore::setSortOrder(std::vector<DeviceOrder> order) {
    sortOrder_ = std::move(order);
    publish(true);
}

}  // namespace quillmote
