#include "app/bluez_scanner.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QHash>
#include <QMetaObject>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>


namespace quillmote {

namespace {

Instant wallClock() { return std::chrono::time_point_cast<Instant::duration>(std::chrono::system_clock::now()); }

const QString bluezService = QStringLiteral("org.bluez");
const QString objectManagerInterface = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString adapterInterface = QStringLiteral("org.bluez.Adapter1");
const QString deviceInterface = QStringLiteral("org.bluez.Device1");
const QString batteryInterface = QStringLiteral("org.bluez.Battery1");


bool isArgument(const QVariant& value) { return value.metaType() == QMetaType::fromType<QDBusArgument>(); }

const QDBusArgument& argumentOf(const QVariant& value) { return *static_cast<const QDBusArgument*>(value.constData()); }

std::optional<long long> wideInteger(const QVariant& value) {
    switch (value.metaType().id()) {
        case QMetaType::UChar: return value.value<uchar>();
        case QMetaType::Short: return value.value<short>();
        case QMetaType::UShort: return value.value<ushort>();
        case QMetaType::Int: return value.value<int>();
        case QMetaType::UInt: return value.value<uint>();
        case QMetaType::LongLong: return value.value<qlonglong>();
        case QMetaType::ULongLong: {
            const qulonglong wide = value.value<qulonglong>();
            if (wide > static_cast<qulonglong>(std::numeric_limits<long long>::max())) return std::nullopt;
            return static_cast<long long>(wide);
        }
        case QMetaType::Double: {
            const double real = value.value<double>();
            if (!std::isfinite(real) || std::fabs(real) > 9.0e18) return std::nullopt;
            return static_cast<long long>(real);
        }
        default: return std::nullopt;
    }
}

void skipValue(const QDBusArgument& arg);

// The container's elements up to its end, ", "-separated between `open` and `close`;
// `element` reads one. (Built by appending: GCC 12 at -O3 warns falsely about "[" + string.)
template <typename Read>
std::string joinedElements(const QDBusArgument& arg, char open, Read element, char close) {
    std::string text(1, open);
    for (bool first = true; !arg.atEnd(); first = false) {
        if (!first) text += ", ";
        text += element();
    }
    text += close;
    return text;
}

std::string describeArgument(const QDBusArgument& arg) {
    const auto one = [&arg] { return describeArgument(arg); };
    switch (arg.currentType()) {
        case QDBusArgument::BasicType: return bluez::describe(arg.asVariant());
        case QDBusArgument::VariantType: {
            QDBusVariant inner;
            arg >> inner;
            return bluez::describe(inner.variant());
        }
        case QDBusArgument::ArrayType: {
            if (arg.currentSignature() == QLatin1String("ay")) {
                QByteArray bytes;
                arg >> bytes;
                return bluez::describe(QVariant(bytes));
            }
            arg.beginArray();
            const std::string text = joinedElements(arg, '[', one, ']');
            arg.endArray();
            return text;
        }
        case QDBusArgument::MapType: {
            arg.beginMap();
            const std::string text = joinedElements(arg, '{', [&arg] {
                arg.beginMapEntry();
                std::string entry = describeArgument(arg);
                entry += ": ";
                entry += describeArgument(arg);
                arg.endMapEntry();
                return entry;
            }, '}');
            arg.endMap();
            return text;
        }
        case QDBusArgument::StructureType: {
            arg.beginStructure();
            const std::string text = joinedElements(arg, '(', one, ')');
            arg.endStructure();
            return text;
        }
        default: return {};
    }
}

void skipValue(const QDBusArgument& arg) { (void)describeArgument(arg); }

// The adapter object as the scanner keeps it.
struct AdapterState {
    QString address;
    QString name;
    QString alias;
    std::optional<bool> powered;
    std::optional<QString> powerState;
};

void applyAdapterProperties(const QDBusArgument& properties, AdapterState& adapter) {
    if (properties.currentSignature() != QLatin1String("a{sv}")) {
        skipValue(properties);
        return;
    }
    properties.beginMap();
    while (!properties.atEnd()) {
        QString key;
        QDBusVariant boxed;
        properties.beginMapEntry();
        properties >> key >> boxed;
        properties.endMapEntry();
        const QVariant& value = boxed.variant();
        const bool isText = value.metaType().id() == QMetaType::QString;
        if (key == QLatin1String("Powered")) {
            adapter.powered = bluez::boolValue(value);
        } else if (key == QLatin1String("PowerState")) {
            adapter.powerState = isText ? std::optional<QString>(value.toString()) : std::nullopt;
        } else if (key == QLatin1String("Address")) {
            if (isText) adapter.address = value.toString();
        } else if (key == QLatin1String("Name")) {
            if (isText) adapter.name = value.toString();
        } else if (key == QLatin1String("Alias")) {
            if (isText) adapter.alias = value.toString();
        }
    }
    properties.endMap();
}

std::optional<int> percentIn(const QDBusArgument& properties) {
    std::optional<int> percent;
    if (properties.currentSignature() != QLatin1String("a{sv}")) {
        skipValue(properties);
        return percent;
    }
    properties.beginMap();
    while (!properties.atEnd()) {
        QString key;
        QDBusVariant boxed;
        properties.beginMapEntry();
        properties >> key >> boxed;
        properties.endMapEntry();
        if (key == QLatin1String("Percentage")) percent = bluez::integerValue(boxed.variant());
    }
    properties.endMap();
    return percent;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The pure mapping.

namespace bluez {

BluetoothStatus adapterStatus(std::optional<bool> powered, const std::optional<QString>& powerState) {
    if (powerState) {
        if (*powerState == QLatin1String("off") || *powerState == QLatin1String("off-blocked"))
            return BluetoothStatus::poweredOff;
        if (*powerState == QLatin1String("off-enabling") || *powerState == QLatin1String("on-disabling"))
            return BluetoothStatus::resetting;
        if (*powerState == QLatin1String("on")) return BluetoothStatus::ready;
    }
    if (!powered) return BluetoothStatus::starting;
    return *powered ? BluetoothStatus::ready : BluetoothStatus::poweredOff;
}

bool isAccessError(const QString& errorName) {
    return errorName == QLatin1String("org.freedesktop.DBus.Error.AccessDenied") ||
           errorName == QLatin1String("org.bluez.Error.NotAuthorized");
}

std::optional<int> integerValue(const QVariant& value) {
    const auto wide = wideInteger(value);
    if (!wide || *wide < std::numeric_limits<int>::min() || *wide > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(*wide);
}

std::optional<std::string> textValue(const QVariant& value) {
    if (value.metaType().id() != QMetaType::QString) return std::nullopt;
    return value.toString().toStdString();
}

std::optional<bool> boolValue(const QVariant& value) {
    if (value.metaType().id() != QMetaType::Bool) return std::nullopt;
    return value.toBool();
}

std::string describe(const QVariant& value) {
    switch (value.metaType().id()) {
        case QMetaType::Bool: return value.toBool() ? "true" : "false";
        case QMetaType::Double: return QString::number(value.toDouble()).toStdString();
        case QMetaType::QString: return value.toString().toStdString();
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            return hexString(ByteView(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                      static_cast<std::size_t>(bytes.size())));
        }
        case QMetaType::QStringList:
            return (u'[' + value.toStringList().join(QStringLiteral(", ")) + u']').toStdString();
        default: break;
    }
    if (auto wide = wideInteger(value)) return std::to_string(*wide);
    if (value.metaType() == QMetaType::fromType<qulonglong>()) return std::to_string(value.value<qulonglong>());
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>()) return value.value<QDBusObjectPath>().path().toStdString();
    if (value.metaType() == QMetaType::fromType<QDBusSignature>())
        return value.value<QDBusSignature>().signature().toStdString();
    if (value.metaType() == QMetaType::fromType<QDBusVariant>()) return describe(value.value<QDBusVariant>().variant());
    if (isArgument(value)) return describeArgument(argumentOf(value));
    return value.toString().toStdString();
}

PropertyValue propertyValue(const QVariant& value) {
    switch (value.metaType().id()) {
        case QMetaType::Bool: return {value.toBool()};
        case QMetaType::Double: return {value.toDouble()};
        case QMetaType::QString: return {value.toString().toStdString()};
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            return {Bytes(bytes.begin(), bytes.end())};
        }
        case QMetaType::QStringList: {
            std::vector<std::string> texts;
            for (const auto& text : value.toStringList()) texts.push_back(text.toStdString());
            return {std::move(texts)};
        }
        default: break;
    }
    if (auto wide = wideInteger(value); wide && value.metaType().id() != QMetaType::Double) return {std::int64_t(*wide)};
    if (!isArgument(value)) return {PropertyValue::Described{describe(value)}};
    const QDBusArgument& arg = argumentOf(value);
    const QString signature = arg.currentSignature();
    if (signature == QLatin1String("as")) {
        std::vector<std::string> texts;
        arg.beginArray();
        while (!arg.atEnd()) {
            QString text;
            arg >> text;
            texts.push_back(text.toStdString());
        }
        arg.endArray();
        return {std::move(texts)};
    }
    // The manufacturer and service-data maps keep their `ay` entries only.
    if (signature == QLatin1String("a{qv}") || signature == QLatin1String("a{sv}")) {
        PropertyValue::CompanyData companies;
        PropertyValue::KeyedData keyed;
        arg.beginMap();
        while (!arg.atEnd()) {
            QDBusVariant data;
            arg.beginMapEntry();
            quint16 company = 0;
            QString key;
            if (signature == QLatin1String("a{qv}")) arg >> company;
            else arg >> key;
            arg >> data;
            arg.endMapEntry();
            if (data.variant().metaType().id() != QMetaType::QByteArray) continue;
            const QByteArray bytes = data.variant().toByteArray();
            if (signature == QLatin1String("a{qv}")) companies.emplace_back(company, Bytes(bytes.begin(), bytes.end()));
            else keyed.emplace_back(key.toStdString(), Bytes(bytes.begin(), bytes.end()));
        }
        arg.endMap();
        if (signature == QLatin1String("a{qv}")) return {std::move(companies)};
        return {std::move(keyed)};
    }
    return {PropertyValue::Described{describeArgument(arg)}};
}

std::optional<Sighting> applyDeviceProperties(const QDBusArgument& properties, const QString& path,
                                              DeviceState& device, Instant now) {
    if (properties.currentSignature() != QLatin1String("a{sv}")) {
        skipValue(properties);
        return std::nullopt;
    }
    DeviceProperties read;
    properties.beginMap();
    while (!properties.atEnd()) {
        QString key;
        QDBusVariant boxed;
        properties.beginMapEntry();
        properties >> key >> boxed;
        properties.endMapEntry();
        read.emplace_back(key.toStdString(), propertyValue(boxed.variant()));
    }
    properties.endMap();
    return applyDeviceProperties(read, path.toStdString(), device, now);
}

}  // namespace bluez

// ---------------------------------------------------------------------------------------
// The scanner's thread.

class BluezWorker : public QObject {
    Q_OBJECT

public:
    BluezWorker(BluezScanner& owner, std::shared_ptr<SightingBuffer> buffer, Scanner::StateChanged report)
        : owner_(owner), buffer_(std::move(buffer)), report_(std::move(report)) {}

    ~BluezWorker() override { dropConnection(); }

public slots:
    void begin() {
        problemTimer_ = new QTimer(this);
        problemTimer_->setSingleShot(true);
        problemTimer_->setInterval(owner_.options_.problemAfter);
        connect(problemTimer_, &QTimer::timeout, this, [this] {
            problemDue_ = true;
            updateStatus();
        });
        // Also notices a bus that went away after it was reached.
        auto* reconnect = new QTimer(this);
        reconnect->setInterval(owner_.options_.reconnectEvery);
        connect(reconnect, &QTimer::timeout, this, &BluezWorker::ensureConnected);
        reconnect->start();
        ensureConnected();
    }

private slots:
    void ensureConnected() {
        if (bus_.isConnected()) return;
        if (watcher_) {
            // The bus went away: everything read through it is gone too.
            clearTree();
            bluezAbsent_ = false;
            dropConnection();
        }
        // A fresh name for each try: a name that failed stays failed until it is dropped.
        connectionName_ = QStringLiteral("quillmote-bluez-%1-%2")
                              .arg(reinterpret_cast<quintptr>(this), 0, 16)
                              .arg(++connectionAttempts_);
        bus_ = owner_.options_.busAddress.isEmpty()
                   ? QDBusConnection::connectToBus(QDBusConnection::SystemBus, connectionName_)
                   : QDBusConnection::connectToBus(owner_.options_.busAddress, connectionName_);
        if (!bus_.isConnected()) {
            QString error = bus_.lastError().message();
            if (error.isEmpty()) error = QStringLiteral("not connected");
            dropConnection();
            {
                std::lock_guard guard(owner_.lock_);
                owner_.snapshot_.busError = error;
                owner_.snapshot_.settled = true;
            }
            updateStatus();
            return;
        }
        {
            std::lock_guard guard(owner_.lock_);
            owner_.snapshot_.busError.clear();
        }
        watcher_ = new QDBusServiceWatcher(bluezService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this, &BluezWorker::ownerChanged);
        const bool connected =
            bus_.connect(bluezService, QString(), objectManagerInterface, QStringLiteral("InterfacesAdded"), this,
                         SLOT(interfacesAdded(QDBusMessage))) &&
            bus_.connect(bluezService, QString(), objectManagerInterface, QStringLiteral("InterfacesRemoved"), this,
                         SLOT(interfacesRemoved(QDBusMessage))) &&
            bus_.connect(bluezService, QString(), propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                         SLOT(propertiesChanged(QDBusMessage)));
        if (!connected) qWarning("quillmote: cannot follow BlueZ's signals: %s", qPrintable(bus_.lastError().message()));
        loadTree();
    }

    void ownerChanged(const QString&, const QString&, const QString& newOwner) {
        clearTree();
        bluezAbsent_ = newOwner.isEmpty();
        if (!bluezAbsent_) loadTree();
        updateStatus();
    }

    void interfacesAdded(const QDBusMessage& message) {
        if (message.signature() != QLatin1String("oa{sa{sv}}")) return;
        const QList<QVariant> args = message.arguments();
        if (!isArgument(args.at(1))) return;
        const QString path = args.at(0).value<QDBusObjectPath>().path();
        applyInterfaces(path, argumentOf(args.at(1)), true);
        updateStatus();
    }

    void interfacesRemoved(const QDBusMessage& message) {
        if (message.signature() != QLatin1String("oas")) return;
        const QList<QVariant> args = message.arguments();
        const QString path = args.at(0).value<QDBusObjectPath>().path();
        const QStringList interfaces = args.at(1).toStringList();
        bool pairedChanged = false;
        if (interfaces.contains(adapterInterface) && adapters_.erase(path) > 0) {
            // bluetoothd may not list the adapter's devices first; they go with it.
            const QString prefix = path + QLatin1Char('/');
            for (auto it = devices_.begin(); it != devices_.end();) {
                if (it.key().startsWith(prefix)) {
                    it = devices_.erase(it);
                    pairedChanged = true;
                } else {
                    ++it;
                }
            }
        }
        if (interfaces.contains(deviceInterface)) {
            pairedChanged = devices_.remove(path) > 0 || pairedChanged;
        } else if (interfaces.contains(batteryInterface)) {
            // Only the battery goes: the device stays.
            if (auto it = devices_.find(path); it != devices_.end()) {
                it->batteryPercent.reset();
                pairedChanged = true;
            }
        }
        if (pairedChanged) publishDevices();
        updateStatus();
    }

    // The device object at `path`, held from now on. A radio inventing addresses faster
    // than bluetoothd forgets them must not grow the map without end: past the bound,
    // the unpaired objects are dropped and learnt again from their next signal.
    bluez::DeviceState& deviceAt(const QString& path) {
        if (auto it = devices_.find(path); it != devices_.end()) return *it;
        if (static_cast<std::size_t>(devices_.size()) >= BluezScanner::devicesHeld) devices_.removeIf([](const auto& held) {
            return !held.value().paired;
        });
        return *devices_.insert(path, bluez::DeviceState{});
    }

    void propertiesChanged(const QDBusMessage& message) {
        if (message.signature() != QLatin1String("sa{sv}as")) return;
        const QList<QVariant> args = message.arguments();
        if (!isArgument(args.at(1))) return;
        const QString interface = args.at(0).toString();
        const QDBusArgument& changed = argumentOf(args.at(1));
        const QString path = message.path();
        if (interface == deviceInterface) {
            bluez::DeviceState& device = deviceAt(path);
            const bool wasPaired = device.paired;
            auto sighting = bluez::applyDeviceProperties(changed, path, device, wallClock());
            for (const QString& gone : args.at(2).toStringList()) {
                if (gone == QLatin1String("RSSI")) device.rssi.reset();
                else if (gone == QLatin1String("Name")) device.name.reset();
                else if (gone == QLatin1String("Class")) device.classOfDevice.reset();
            }
            if (sighting) deliver(std::move(*sighting));
            // Only paired devices are published; an unpaired device's signal ends here.
            if (wasPaired || device.paired) publishDevices();
        } else if (interface == adapterInterface) {
            auto it = adapters_.find(path);
            if (it == adapters_.end()) {
                skipValue(changed);
                return;
            }
            applyAdapterProperties(changed, it->second);
            for (const QString& gone : args.at(2).toStringList())
                if (gone == QLatin1String("PowerState")) it->second.powerState.reset();
            updateStatus();
        } else if (interface == batteryInterface) {
            auto it = devices_.find(path);
            if (it == devices_.end()) return;
            if (auto percent = percentIn(changed)) it->batteryPercent = percent;
            for (const QString& gone : args.at(2).toStringList())
                if (gone == QLatin1String("Percentage")) it->batteryPercent.reset();
            publishDevices();
        }
    }

private:
    BluezScanner& owner_;
    std::shared_ptr<SightingBuffer> buffer_;  // none: the scanner only looks
    Scanner::StateChanged report_;
    QString connectionName_;
    QDBusConnection bus_{QString()};
    QDBusServiceWatcher* watcher_ = nullptr;

    std::map<QString, AdapterState> adapters_;  // by path: the first one is used
    QHash<QString, bluez::DeviceState> devices_;
    bool treeLoaded_ = false;
    bool accessDenied_ = false;
    int generation_ = 0;  // bumped whenever bluetoothd comes or goes, so stale replies are ignored
    QString discoveringOn_;  // the adapter discovery was started on in its current powered period
    int connectionAttempts_ = 0;
    bool bluezAbsent_ = false;  // the bus answers, but nobody owns org.bluez
    QTimer* problemTimer_ = nullptr;  // runs while a problem waits to be told
    bool problemDue_ = false;  // the current problem has lasted long enough to be told
    std::optional<std::pair<BluetoothStatus, BluetoothProblem>> reported_;

    void deliver(Sighting sighting) {
        if (!buffer_) return;
        buffer_->append(std::move(sighting));
        owner_.sightings_.fetch_add(1, std::memory_order_relaxed);
    }

    void dropConnection() {
        delete watcher_;
        watcher_ = nullptr;
        bus_ = QDBusConnection(QString());
        if (!connectionName_.isEmpty()) QDBusConnection::disconnectFromBus(connectionName_);
        connectionName_.clear();
    }

    void clearTree() {
        ++generation_;
        adapters_.clear();
        devices_.clear();
        treeLoaded_ = false;
        accessDenied_ = false;
        discoveringOn_.clear();
        publishDevices();
    }

    void loadTree() {
        const int generation = generation_;
        auto call = QDBusMessage::createMethodCall(bluezService, QStringLiteral("/"), objectManagerInterface,
                                                   QStringLiteral("GetManagedObjects"));
        auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this, [this, generation](QDBusPendingCallWatcher* done) {
            done->deleteLater();
            if (generation != generation_) return;
            const QDBusMessage reply = done->reply();
            const QList<QVariant> replyArguments = reply.arguments();
            if (reply.type() == QDBusMessage::ErrorMessage) {
                if (bluez::isAccessError(reply.errorName())) accessDenied_ = true;
                else bluezAbsent_ = true;  // not running, or it could not be started for us
            } else if (reply.signature() == QLatin1String("a{oa{sa{sv}}}") && isArgument(replyArguments.at(0))) {
                adapters_.clear();
                devices_.clear();
                const QDBusArgument& objects = argumentOf(replyArguments.at(0));
                objects.beginMap();
                while (!objects.atEnd()) {
                    QDBusObjectPath path;
                    objects.beginMapEntry();
                    objects >> path;
                    applyInterfaces(path.path(), objects, false);
                    objects.endMapEntry();
                }
                objects.endMap();
                treeLoaded_ = true;
                bluezAbsent_ = false;
                publishDevices();
            }
            updateStatus();
            std::lock_guard guard(owner_.lock_);
            owner_.snapshot_.settled = true;
        });
    }

    // One object's interfaces (`a{sa{sv}}`), from InterfacesAdded or GetManagedObjects.
    void applyInterfaces(const QString& path, const QDBusArgument& interfaces, bool isSignal) {
        if (interfaces.currentSignature() != QLatin1String("a{sa{sv}}")) {
            skipValue(interfaces);
            return;
        }
        bool pairedChanged = false;
        interfaces.beginMap();
        while (!interfaces.atEnd()) {
            QString interface;
            interfaces.beginMapEntry();
            interfaces >> interface;
            if (interface == deviceInterface) {
                bluez::DeviceState& device = deviceAt(path);
                const bool wasPaired = device.paired;
                auto sighting = bluez::applyDeviceProperties(interfaces, path, device, wallClock());
                if (isSignal && sighting) deliver(std::move(*sighting));
                pairedChanged = pairedChanged || wasPaired || device.paired;
            } else if (interface == adapterInterface) {
                applyAdapterProperties(interfaces, adapters_[path]);
            } else if (interface == batteryInterface) {
                deviceAt(path).batteryPercent = percentIn(interfaces);
                pairedChanged = true;
            } else {
                skipValue(interfaces);
            }
            interfaces.endMapEntry();
        }
        interfaces.endMap();
        if (pairedChanged && isSignal) publishDevices();
    }

    // The paired devices and battery levels the store reads, under the scanner's lock.
    void publishDevices() {
        std::vector<std::pair<QString, const bluez::DeviceState*>> paired;
        std::map<std::string, int> batteries;
        for (auto it = devices_.cbegin(); it != devices_.cend(); ++it) {
            if (it->paired) paired.emplace_back(it.key(), &*it);
            if (it->batteryPercent && !it->address.empty())
                batteries.insert_or_assign(bluez::pairedKey(it->address), *it->batteryPercent);
        }
        std::sort(paired.begin(), paired.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<bluez::DeviceState> rows;
        rows.reserve(paired.size());
        for (const auto& entry : paired) rows.push_back(*entry.second);
        std::lock_guard guard(owner_.lock_);
        owner_.snapshot_.treeLoaded = treeLoaded_;
        owner_.snapshot_.paired = std::move(rows);
        owner_.snapshot_.batteries = std::move(batteries);
    }

    BluetoothStatus currentStatus() const {
        if (accessDenied_) return BluetoothStatus::notAllowed;
        if (!treeLoaded_) return BluetoothStatus::starting;
        if (adapters_.empty()) return BluetoothStatus::unsupported;
        const AdapterState& adapter = adapters_.begin()->second;
        return bluez::adapterStatus(adapter.powered, adapter.powerState);
    }

    // What keeps the status at `starting`, once it has lasted `problemAfter`; a change
    // from one problem to another is told at once.
    BluetoothProblem trackProblem(BluetoothStatus status) {
        BluetoothProblem problem = BluetoothProblem::none;
        if (status == BluetoothStatus::starting) {
            if (!bus_.isConnected()) problem = BluetoothProblem::noSystemBus;
            else if (bluezAbsent_) problem = BluetoothProblem::noBluetoothService;
        }
        if (problem == BluetoothProblem::none) {
            problemTimer_->stop();
            problemDue_ = false;
        } else if (!problemDue_ && !problemTimer_->isActive()) {
            problemTimer_->start();
        }
        return problemDue_ ? problem : BluetoothProblem::none;
    }

    void updateStatus() {
        const BluetoothStatus status = currentStatus();
        std::optional<BluezAdapter> adapter;
        if (treeLoaded_ && !adapters_.empty()) {
            const auto& [path, state] = *adapters_.begin();
            adapter = BluezAdapter{path, state.address, state.name.isEmpty() ? state.alias : state.name};
        }
        const QString adapterPath = adapter ? adapter->path : QString();
        {
            std::lock_guard guard(owner_.lock_);
            owner_.snapshot_.status = status;
            owner_.snapshot_.adapter = std::move(adapter);
            owner_.snapshot_.treeLoaded = treeLoaded_;
        }
        const BluetoothProblem problem = trackProblem(status);
        if (reported_ != std::pair(status, problem)) {
            reported_ = std::pair(status, problem);
            if (report_) report_(status, problem);
        }
        if (status != BluetoothStatus::ready) {
            discoveringOn_.clear();
        } else if (buffer_ && discoveringOn_ != adapterPath) {
            discoveringOn_ = adapterPath;
            startDiscovery(adapterPath);
        }
    }

    // The filter first (BlueZ drops non-discoverable advertisers and most RSSI changes
    // without one), then discovery; a filter BlueZ refuses does not stop the start.
    void startDiscovery(const QString& adapterPath) {
        const int generation = generation_;
        auto filter = QDBusMessage::createMethodCall(bluezService, adapterPath, adapterInterface,
                                                     QStringLiteral("SetDiscoveryFilter"));
        filter << QVariantMap{{QStringLiteral("Transport"), QStringLiteral("le")},
                              {QStringLiteral("DuplicateData"), true}};
        auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(filter), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this,
                [this, generation, adapterPath](QDBusPendingCallWatcher* done) {
                    done->deleteLater();
                    if (generation != generation_ || discoveringOn_ != adapterPath) return;
                    if (!callSucceeded(done->reply(), "SetDiscoveryFilter")) {
                        if (accessDenied_) return;
                    }
                    auto start = QDBusMessage::createMethodCall(bluezService, adapterPath, adapterInterface,
                                                                QStringLiteral("StartDiscovery"));
                    auto* started = new QDBusPendingCallWatcher(bus_.asyncCall(start), this);
                    connect(started, &QDBusPendingCallWatcher::finished, this,
                            [this, generation](QDBusPendingCallWatcher* finished) {
                                finished->deleteLater();
                                if (generation != generation_) return;
                                callSucceeded(finished->reply(), "StartDiscovery");
                            });
                });
    }

    bool callSucceeded(const QDBusMessage& reply, const char* what) {
        if (reply.type() != QDBusMessage::ErrorMessage) return true;
        const QString error = reply.errorName();
        if (bluez::isAccessError(error)) {
            accessDenied_ = true;
            updateStatus();
        } else if (error != QLatin1String("org.bluez.Error.InProgress") &&
                   error != QLatin1String("org.bluez.Error.NotReady")) {
            // NotReady: the adapter went off meanwhile, and powering on starts it again.
            qWarning("quillmote: BlueZ %s failed: %s: %s", what, qPrintable(error), qPrintable(reply.errorMessage()));
        }
        return false;
    }
};

// ---------------------------------------------------------------------------------------

BluezScanner::BluezScanner() : BluezScanner(Options{}) {}

BluezScanner::BluezScanner(Options options) : options_(std::move(options)) {
    thread_.setObjectName(QStringLiteral("bluez-scanner"));
}

BluezScanner::~BluezScanner() {
    if (worker_) {
        // The worker and its connection end on their own thread.
        QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
        thread_.quit();
        thread_.wait();
    }
}

void BluezScanner::start(std::shared_ptr<SightingBuffer> buffer, StateChanged stateChanged) {
    if (worker_) return;
    worker_ = new BluezWorker(*this, std::move(buffer), std::move(stateChanged));
    worker_->moveToThread(&thread_);
    thread_.start();
    QMetaObject::invokeMethod(worker_, &BluezWorker::begin, Qt::QueuedConnection);
}

std::optional<std::vector<Sighting>> BluezScanner::pairedDevices() {
    std::vector<bluez::DeviceState> paired;
    std::map<std::string, int> levels;
    {
        std::lock_guard guard(lock_);
        if (!snapshot_.treeLoaded) return std::nullopt;
        paired = snapshot_.paired;
        levels = snapshot_.batteries;
    }
    return bluez::pairedSightings(paired, levels, wallClock());
}

std::map<std::string, int> BluezScanner::batteryLevelsByAddress() const {
    std::lock_guard guard(lock_);
    return snapshot_.batteries;
}

BluetoothStatus BluezScanner::status() const {
    std::lock_guard guard(lock_);
    return snapshot_.status;
}

std::optional<BluezAdapter> BluezScanner::adapter() const {
    std::lock_guard guard(lock_);
    return snapshot_.adapter;
}

bool BluezScanner::settled() const {
    std::lock_guard guard(lock_);
    return snapshot_.settled;
}

QString BluezScanner::busError() const {
    std::lock_guard guard(lock_);
    return snapshot_.busError;
}

}  // namespace quillmote

#include "bluez_scanner.moc"
