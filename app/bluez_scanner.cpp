#include "app/bluez_scanner.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>
#include <poll.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unordered_map>

#include "app/bluez_message.h"

namespace quillmote {

namespace {

using namespace std::chrono_literals;

Instant wallClock() { return std::chrono::time_point_cast<Instant::duration>(std::chrono::system_clock::now()); }

constexpr const char* bluezService = "org.bluez";
constexpr const char* objectManagerInterface = "org.freedesktop.DBus.ObjectManager";
constexpr std::string_view adapterInterface = "org.bluez.Adapter1";
constexpr std::string_view deviceInterface = "org.bluez.Device1";
constexpr std::string_view batteryInterface = "org.bluez.Battery1";

// The rules the bus daemon filters with, so that only BlueZ's own signals reach the
// thread; the handlers still check what they are given.
constexpr const char* propertiesRule =
    "type='signal',sender='org.bluez',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',arg0='";
constexpr const char* objectsRule = "type='signal',sender='org.bluez',interface='org.freedesktop.DBus.ObjectManager'";
constexpr const char* ownerRule =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',interface='org.freedesktop.DBus',"
    "member='NameOwnerChanged',arg0='org.bluez'";

// Messages handled in one go before the thread looks at its other events (a stop among them).
constexpr int processBudget = 1024;
// A wake-up that found this many messages waiting is a flood: the socket is then left
// to fill for `floodPause`, so that each later wake-up reads a batch. The store drains
// eight times a second, so nobody sees the wait, and the bus daemon holds what comes meanwhile.
constexpr int floodWakeup = 4;
constexpr auto floodPause = 15ms;

struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
// A pending call; dropping it cancels the reply's handler.
using PendingCall = std::unique_ptr<sd_bus_slot, SlotUnref>;

// The adapter object as the scanner keeps it.
struct AdapterState {
    std::string address;
    std::string name;
    std::string alias;
    std::optional<bool> powered;
    std::optional<std::string> powerState;
};

void applyAdapterProperties(const bluez::DeviceProperties& properties, AdapterState& adapter) {
    for (const auto& [key, value] : properties) {
        if (key == "Powered") adapter.powered = bluez::boolValue(value);
        else if (key == "PowerState") adapter.powerState = bluez::textValue(value);
        else if (key == "Address") adapter.address = bluez::textValue(value).value_or(adapter.address);
        else if (key == "Name") adapter.name = bluez::textValue(value).value_or(adapter.name);
        else if (key == "Alias") adapter.alias = bluez::textValue(value).value_or(adapter.alias);
    }
}

std::optional<int> percentIn(const bluez::DeviceProperties& properties) {
    std::optional<int> percent;
    for (const auto& [key, value] : properties)
        if (key == "Percentage") percent = bluez::integerValue(value);
    return percent;
}

bool contains(const std::vector<std::string>& texts, std::string_view text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::string errorName(sd_bus_message* reply) {
    const sd_bus_error* error = sd_bus_message_get_error(reply);
    return error && error->name ? error->name : "";
}

// Device paths, looked up by the path a message carries without copying it.
struct PathHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
};
using DeviceMap = std::unordered_map<std::string, bluez::DeviceState, PathHash, std::equal_to<>>;

}  // namespace

// ---------------------------------------------------------------------------------------
// The pure mapping.

namespace bluez {

BluetoothStatus adapterStatus(std::optional<bool> powered, const std::optional<std::string>& powerState) {
    if (powerState) {
        if (*powerState == "off" || *powerState == "off-blocked") return BluetoothStatus::poweredOff;
        if (*powerState == "off-enabling" || *powerState == "on-disabling") return BluetoothStatus::resetting;
        if (*powerState == "on") return BluetoothStatus::ready;
    }
    if (!powered) return BluetoothStatus::starting;
    return *powered ? BluetoothStatus::ready : BluetoothStatus::poweredOff;
}

bool isAccessError(std::string_view errorName) {
    return errorName == "org.freedesktop.DBus.Error.AccessDenied" || errorName == "org.bluez.Error.NotAuthorized";
}

}  // namespace bluez

// ---------------------------------------------------------------------------------------
// The scanner's thread. The connection is opened, used and closed here only: sd-bus
// is not thread-safe. The thread's event loop watches the bus descriptor, and every
// wake-up handles whatever sd-bus has read or queued.

class BluezWorker : public QObject {
    Q_OBJECT

public:
    BluezWorker(BluezScanner& owner, std::shared_ptr<SightingBuffer> buffer, Scanner::StateChanged report)
        : owner_(owner), buffer_(std::move(buffer)), report_(std::move(report)) {}

    ~BluezWorker() override { dropConnection(); }

    void begin() {
        problemTimer_ = singleShot(owner_.options_.problemAfter, [this] {
            problemDue_ = true;
            updateStatus();
        });
        busTimer_ = singleShot(0ms, [this] { processBus(); });
        pauseTimer_ = singleShot(floodPause, [this] {
            if (readNotifier_) readNotifier_->setEnabled(true);
        });
        // Also notices a bus that went away after it was reached.
        auto* reconnect = new QTimer(this);
        reconnect->setInterval(owner_.options_.reconnectEvery);
        connect(reconnect, &QTimer::timeout, this, &BluezWorker::ensureConnected);
        reconnect->start();
        ensureConnected();
    }

private:
    BluezScanner& owner_;
    std::shared_ptr<SightingBuffer> buffer_;  // none: the scanner only looks
    Scanner::StateChanged report_;

    std::string address_;  // the bus's address; empty: the system bus's own
    sd_bus* bus_ = nullptr;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;  // enabled only while output waits
    QTimer* busTimer_ = nullptr;  // sd-bus's own deadline: a call's timeout, or queued work
    QTimer* pauseTimer_ = nullptr;  // runs while a flood is left to gather
    PendingCall treeCall_;
    PendingCall filterCall_;
    PendingCall discoveryCall_;

    std::map<std::string, AdapterState> adapters_;  // by path: the first one is used
    DeviceMap devices_;
    bool treeLoaded_ = false;
    bool accessDenied_ = false;
    std::string discoveringOn_;  // the adapter discovery was started on in its current powered period
    bool bluezAbsent_ = false;  // the bus answers, but nobody owns org.bluez
    QTimer* problemTimer_ = nullptr;  // runs while a problem waits to be told
    bool problemDue_ = false;  // the current problem has lasted long enough to be told
    std::optional<std::pair<BluetoothStatus, BluetoothProblem>> reported_;

    template <typename Slot>
    QTimer* singleShot(std::chrono::milliseconds interval, Slot slot) {
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setInterval(interval);
        connect(timer, &QTimer::timeout, this, slot);
        return timer;
    }

    // sd-bus's callbacks, onto the member that handles the message.
    template <void (BluezWorker::*Handle)(sd_bus_message*)>
    static int on(sd_bus_message* message, void* worker, sd_bus_error*) {
        (static_cast<BluezWorker*>(worker)->*Handle)(message);
        return 0;
    }

    // ---- the connection ----

    void ensureConnected() {
        if (bus_ && sd_bus_is_open(bus_) > 0) return;
        if (bus_) busLost();
        address_ = owner_.options_.busAddress.toStdString();
        if (address_.empty()) {
            const char* fromEnvironment = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
            address_ = fromEnvironment ? fromEnvironment : "";
        }
        const int r = address_.empty() ? sd_bus_open_system(&bus_) : openAt(address_);
        if (r < 0) {
            bus_ = sd_bus_close_unref(bus_);
            setBusError(std::strerror(-r));
            updateStatus();
            return;
        }
        {
            std::lock_guard guard(owner_.lock_);
            owner_.snapshot_.busError.clear();
        }
        const int descriptor = sd_bus_get_fd(bus_);
        readNotifier_ = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
        connect(readNotifier_, &QSocketNotifier::activated, this, &BluezWorker::readable);
        writeNotifier_ = new QSocketNotifier(descriptor, QSocketNotifier::Write, this);
        writeNotifier_->setEnabled(false);
        connect(writeNotifier_, &QSocketNotifier::activated, this, [this] { processBus(); });

        // The rules go first, so that no change between the tree's reading and them is missed.
        for (std::string_view interface : {deviceInterface, adapterInterface, batteryInterface})
            addMatch(std::string(propertiesRule).append(interface).append("'"), &on<&BluezWorker::propertiesChanged>);
        addMatch(std::string(objectsRule) + ",member='InterfacesAdded'", &on<&BluezWorker::interfacesAdded>);
        addMatch(std::string(objectsRule) + ",member='InterfacesRemoved'", &on<&BluezWorker::interfacesRemoved>);
        addMatch(ownerRule, &on<&BluezWorker::ownerChanged>);
        loadTree();
        processBus();
    }

    // Why the bus cannot be used, for bluez-status; the first look is then over.
    void setBusError(const std::string& why) {
        const std::string where = address_.empty() ? "unix:path=/run/dbus/system_bus_socket" : address_;
        std::lock_guard guard(owner_.lock_);
        owner_.snapshot_.busError = QString::fromStdString(where + ": " + why);
        owner_.snapshot_.settled = true;
    }

    int openAt(const std::string& address) {
        int r = sd_bus_new(&bus_);
        if (r >= 0) r = sd_bus_set_address(bus_, address.c_str());
        if (r >= 0) r = sd_bus_set_bus_client(bus_, 1);
        if (r >= 0) r = sd_bus_start(bus_);
        return r;
    }

    void addMatch(const std::string& rule, sd_bus_message_handler_t handler) {
        const int r = sd_bus_add_match_async(bus_, nullptr, rule.c_str(), handler, &on<&BluezWorker::matchAdded>, this);
        if (r < 0) qWarning("quillmote: cannot follow BlueZ's signals: %s", std::strerror(-r));
    }

    void matchAdded(sd_bus_message* reply) {
        if (sd_bus_message_is_method_error(reply, nullptr))
            qWarning("quillmote: cannot follow BlueZ's signals: %s", errorName(reply).c_str());
    }

    // Everything sd-bus has read or can read now, up to the budget; then the descriptor
    // and deadline it waits on next. Returns how many messages were handled.
    int processBus() {
        int handled = 0;
        while (bus_ && handled < processBudget) {
            const int r = sd_bus_process(bus_, nullptr);
            if (r < 0) {
                busLost();
                return handled;
            }
            if (r == 0) break;
            ++handled;
        }
        watchBus();
        return handled;
    }

    void readable() {
        if (processBus() >= floodWakeup && readNotifier_) {
            readNotifier_->setEnabled(false);
            pauseTimer_->start();
        }
    }

    // What sd-bus waits for: output to write, and an absolute monotonic deadline (zero
    // when messages read during a call are still queued, past the budget included).
    void watchBus() {
        if (!bus_) return;
        const int events = sd_bus_get_events(bus_);
        writeNotifier_->setEnabled(events > 0 && (events & POLLOUT) != 0);
        std::uint64_t until = 0;
        if (sd_bus_get_timeout(bus_, &until) < 0 || until == UINT64_MAX) {
            busTimer_->stop();
            return;
        }
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const std::uint64_t nowUs = static_cast<std::uint64_t>(now.tv_sec) * 1000000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
        const std::uint64_t delayMs = until > nowUs ? (until - nowUs + 999) / 1000 : 0;
        busTimer_->start(static_cast<int>(std::min<std::uint64_t>(delayMs, INT_MAX)));
    }

    // The bus went away: everything read through it is gone too, and the reconnect
    // timer tries again.
    void busLost() {
        clearTree();
        bluezAbsent_ = false;
        dropConnection();
        setBusError("the connection was closed");
        updateStatus();
    }

    void dropConnection() {
        for (QSocketNotifier** notifier : {&readNotifier_, &writeNotifier_}) {
            if (!*notifier) continue;
            (*notifier)->setEnabled(false);  // before its descriptor is closed
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
        if (busTimer_) busTimer_->stop();
        if (pauseTimer_) pauseTimer_->stop();
        // Pending calls hold the bus; they go first.
        treeCall_.reset();
        filterCall_.reset();
        discoveryCall_.reset();
        bus_ = sd_bus_close_unref(bus_);
    }

    template <void (BluezWorker::*Handle)(sd_bus_message*)>
    PendingCall callBluez(const char* path, const char* interface, const char* member, const char* types = nullptr,
                          auto... arguments) {
        sd_bus_slot* slot = nullptr;
        const int r = sd_bus_call_method_async(bus_, &slot, bluezService, path, interface, member, &on<Handle>, this,
                                               types, arguments...);
        if (r < 0) qWarning("quillmote: cannot call BlueZ's %s: %s", member, std::strerror(-r));
        return PendingCall(slot);
    }

    // ---- BlueZ's objects ----

    void clearTree() {
        treeCall_.reset();
        filterCall_.reset();
        discoveryCall_.reset();
        adapters_.clear();
        devices_.clear();
        treeLoaded_ = false;
        accessDenied_ = false;
        discoveringOn_.clear();
        publishDevices();
    }

    void loadTree() {
        treeCall_ = callBluez<&BluezWorker::treeRead>("/", objectManagerInterface, "GetManagedObjects");
        watchBus();
    }

    void treeRead(sd_bus_message* reply) {
        treeCall_.reset();
        if (sd_bus_message_is_method_error(reply, nullptr)) {
            if (bluez::isAccessError(errorName(reply))) accessDenied_ = true;
            else bluezAbsent_ = true;  // not running, or it could not be started for us
        } else if (sd_bus_message_has_signature(reply, "a{oa{sa{sv}}}")) {
            adapters_.clear();
            devices_.clear();
            if (sd_bus_message_enter_container(reply, 'a', "{oa{sa{sv}}}") > 0) {
                while (sd_bus_message_enter_container(reply, 'e', "oa{sa{sv}}") > 0) {
                    const char* path = nullptr;
                    if (sd_bus_message_read_basic(reply, 'o', &path) < 0 || applyInterfaces(path, reply, false) < 0 ||
                        sd_bus_message_exit_container(reply) < 0)
                        break;
                }
            }
            treeLoaded_ = true;
            bluezAbsent_ = false;
            publishDevices();
        }
        updateStatus();
        std::lock_guard guard(owner_.lock_);
        owner_.snapshot_.settled = true;
    }

    // One object's interfaces (`a{sa{sv}}`), from InterfacesAdded or GetManagedObjects.
    int applyInterfaces(std::string_view path, sd_bus_message* message, bool isSignal) {
        bool pairedChanged = false;
        int r = sd_bus_message_enter_container(message, 'a', "{sa{sv}}");
        if (r < 0) return r;
        while ((r = sd_bus_message_enter_container(message, 'e', "sa{sv}")) > 0) {
            const char* interface = nullptr;
            bluez::DeviceProperties properties;
            if ((r = sd_bus_message_read_basic(message, 's', &interface)) < 0 ||
                (r = bluez::readProperties(message, properties)) < 0 || (r = sd_bus_message_exit_container(message)) < 0)
                return r;
            if (interface == deviceInterface) {
                bluez::DeviceState& device = deviceAt(path);
                const bool wasPaired = device.paired;
                auto sighting = bluez::applyDeviceProperties(properties, path, device, wallClock());
                if (isSignal && sighting) deliver(std::move(*sighting));
                pairedChanged = pairedChanged || wasPaired || device.paired;
            } else if (interface == adapterInterface) {
                applyAdapterProperties(properties, adapters_[std::string(path)]);
            } else if (interface == batteryInterface) {
                deviceAt(path).batteryPercent = percentIn(properties);
                pairedChanged = true;
            }
        }
        if (r < 0) return r;
        if (pairedChanged && isSignal) publishDevices();
        return sd_bus_message_exit_container(message);
    }

    // The device object at `path`, held from now on. A radio inventing addresses faster
    // than bluetoothd forgets them must not grow the map without end: past the bound,
    // the unpaired objects are dropped and learnt again from their next signal.
    bluez::DeviceState& deviceAt(std::string_view path) {
        if (auto it = devices_.find(path); it != devices_.end()) return it->second;
        if (devices_.size() >= BluezScanner::devicesHeld)
            std::erase_if(devices_, [](const auto& held) { return !held.second.paired; });
        return devices_.emplace(std::string(path), bluez::DeviceState{}).first->second;
    }

    void ownerChanged(sd_bus_message* message) {
        const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
        if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) < 0 || std::string_view(name) != bluezService)
            return;
        clearTree();
        bluezAbsent_ = *newOwner == 0;
        if (!bluezAbsent_) loadTree();
        updateStatus();
    }

    void interfacesAdded(sd_bus_message* message) {
        const char* path = nullptr;
        if (!sd_bus_message_is_signal(message, objectManagerInterface, "InterfacesAdded") ||
            !sd_bus_message_has_signature(message, "oa{sa{sv}}") || sd_bus_message_read_basic(message, 'o', &path) < 0)
            return;
        applyInterfaces(path, message, true);
        updateStatus();
    }

    void interfacesRemoved(sd_bus_message* message) {
        const char* path = nullptr;
        std::vector<std::string> interfaces;
        if (!sd_bus_message_is_signal(message, objectManagerInterface, "InterfacesRemoved") ||
            !sd_bus_message_has_signature(message, "oas") || sd_bus_message_read_basic(message, 'o', &path) < 0 ||
            bluez::readStrings(message, interfaces) < 0)
            return;
        const std::string_view removed = path;
        bool pairedChanged = false;
        if (contains(interfaces, adapterInterface) && adapters_.erase(std::string(removed)) > 0) {
            // bluetoothd may not list the adapter's devices first; they go with it.
            const std::string prefix = std::string(removed) + '/';
            pairedChanged = std::erase_if(devices_, [&](const auto& held) { return held.first.starts_with(prefix); }) > 0;
        }
        if (contains(interfaces, deviceInterface)) {
            if (auto it = devices_.find(removed); it != devices_.end()) {
                devices_.erase(it);
                pairedChanged = true;
            }
        } else if (contains(interfaces, batteryInterface)) {
            // Only the battery goes: the device stays.
            if (auto it = devices_.find(removed); it != devices_.end()) {
                it->second.batteryPercent.reset();
                pairedChanged = true;
            }
        }
        if (pairedChanged) publishDevices();
        updateStatus();
    }

    void propertiesChanged(sd_bus_message* message) {
        const char* interfaceText = nullptr;
        bluez::DeviceProperties changed;
        std::vector<std::string> invalidated;
        if (!sd_bus_message_is_signal(message, "org.freedesktop.DBus.Properties", "PropertiesChanged") ||
            !sd_bus_message_has_signature(message, "sa{sv}as") ||
            sd_bus_message_read_basic(message, 's', &interfaceText) < 0 ||
            bluez::readProperties(message, changed) < 0 || bluez::readStrings(message, invalidated) < 0)
            return;
        const char* pathText = sd_bus_message_get_path(message);
        if (!pathText) return;
        const std::string_view interface = interfaceText;
        const std::string_view path = pathText;
        if (interface == deviceInterface) {
            bluez::DeviceState& device = deviceAt(path);
            const bool wasPaired = device.paired;
            auto sighting = bluez::applyDeviceProperties(changed, path, device, wallClock());
            for (const std::string& gone : invalidated) {
                if (gone == "RSSI") device.rssi.reset();
                else if (gone == "Name") device.name.reset();
                else if (gone == "Class") device.classOfDevice.reset();
            }
            if (sighting) deliver(std::move(*sighting));
            // Only paired devices are published; an unpaired device's signal ends here.
            if (wasPaired || device.paired) publishDevices();
        } else if (interface == adapterInterface) {
            auto it = adapters_.find(std::string(path));
            if (it == adapters_.end()) return;
            applyAdapterProperties(changed, it->second);
            if (contains(invalidated, "PowerState")) it->second.powerState.reset();
            updateStatus();
        } else if (interface == batteryInterface) {
            auto it = devices_.find(path);
            if (it == devices_.end()) return;
            if (auto percent = percentIn(changed)) it->second.batteryPercent = percent;
            if (contains(invalidated, "Percentage")) it->second.batteryPercent.reset();
            publishDevices();
        }
    }

    void deliver(Sighting sighting) {
        if (!buffer_) return;
        buffer_->append(std::move(sighting));
        owner_.sightings_.fetch_add(1, std::memory_order_relaxed);
    }

    // The paired devices and battery levels the store reads, under the scanner's lock.
    void publishDevices() {
        std::vector<std::pair<std::string_view, const bluez::DeviceState*>> paired;
        std::map<std::string, int> batteries;
        for (const auto& [path, device] : devices_) {
            if (device.paired) paired.emplace_back(path, &device);
            if (device.batteryPercent && !device.address.empty())
                batteries.insert_or_assign(bluez::pairedKey(device.address), *device.batteryPercent);
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

    // ---- the radio's state ----

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
            if (!bus_) problem = BluetoothProblem::noSystemBus;
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
            adapter = BluezAdapter{QString::fromStdString(path), QString::fromStdString(state.address),
                                   QString::fromStdString(state.name.empty() ? state.alias : state.name)};
        }
        const std::string adapterPath = treeLoaded_ && !adapters_.empty() ? adapters_.begin()->first : std::string();
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
            filterCall_.reset();
        } else if (buffer_ && discoveringOn_ != adapterPath) {
            discoveringOn_ = adapterPath;
            // The filter first (BlueZ drops non-discoverable advertisers and most RSSI
            // changes without one), then discovery; a filter BlueZ refuses does not stop
            // the start. LE only, every advertisement; a plain boolean, as BlueZ takes no other.
            filterCall_ = callBluez<&BluezWorker::filterSet>(discoveringOn_.c_str(), adapterInterface.data(),
                                                             "SetDiscoveryFilter", "a{sv}", 2, "DuplicateData", "b", 1,
                                                             "Transport", "s", "le");
            watchBus();
        }
    }

    void filterSet(sd_bus_message* reply) {
        filterCall_.reset();
        if (!callSucceeded(reply, "SetDiscoveryFilter") && accessDenied_) return;
        discoveryCall_ =
            callBluez<&BluezWorker::discoveryStarted>(discoveringOn_.c_str(), adapterInterface.data(), "StartDiscovery");
    }

    void discoveryStarted(sd_bus_message* reply) {
        discoveryCall_.reset();
        callSucceeded(reply, "StartDiscovery");
    }

    bool callSucceeded(sd_bus_message* reply, const char* what) {
        if (!sd_bus_message_is_method_error(reply, nullptr)) return true;
        const std::string error = errorName(reply);
        if (bluez::isAccessError(error)) {
            accessDenied_ = true;
            updateStatus();
        } else if (error != "org.bluez.Error.InProgress" && error != "org.bluez.Error.NotReady") {
            // NotReady: the adapter went off meanwhile, and powering on starts it again.
            const sd_bus_error* details = sd_bus_message_get_error(reply);
            qWarning("quillmote: BlueZ %s failed: %s: %s", what, error.c_str(),
                     details && details->message ? details->message : "");
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
