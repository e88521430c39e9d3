#pragma once

#include <QString>
#include <QThread>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/scanner.h"
#include "core/bluez/device_properties.h"
#include "core/sightings/hex.h"

class QDBusArgument;

namespace quillmote {

class BluezWorker;

// The pure half of the BlueZ mapping: everything here works on values already read
// off the wire, without a bus.
namespace bluez {

// The adapter's radio state: `PowerState` (experimental, usually absent) wins over `Powered`.
BluetoothStatus adapterStatus(std::optional<bool> powered, const std::optional<QString>& powerState);

// Whether a D-Bus error name means the user may not use bluetoothd.
bool isAccessError(const QString& errorName);

// One value read from a D-Bus variant as QtDBus hands it over (basic types as
// themselves, `ay` as QByteArray, `as` as QStringList, other containers as a
// QDBusArgument still to be read). Each returns nothing for a value of another type.
std::optional<int> integerValue(const QVariant& value);
std::optional<std::string> textValue(const QVariant& value);
std::optional<bool> boolValue(const QVariant& value);
// The value's textual description ("true", "-42", "[a, b]", "{1: 0A}", "0A FF").
std::string describe(const QVariant& value);
// The value in the shapes the pure mapping reads.
PropertyValue propertyValue(const QVariant& value);

// Reads a Device1 property map (`a{sv}`) off the message and applies it.
std::optional<Sighting> applyDeviceProperties(const QDBusArgument& properties, const QString& path,
                                              DeviceState& device, Instant now);

}  // namespace bluez

// The adapter a scanner is using, as bluez-status shows it.
struct BluezAdapter {
    QString path;
    QString address;
    QString name;
};

// The low-energy scanner over BlueZ on the system D-Bus. A thread of its own owns a
// private connection; it finds the adapter through the object manager, follows
// InterfacesAdded/Removed, PropertiesChanged and bluetoothd's name owner, sets the
// discovery filter and starts discovery whenever the adapter becomes powered, and
// turns every Device1 signal that carries advertisement data into one sighting. It
// keeps the object tree so that paired devices and battery levels are read without a
// D-Bus call. A bus that cannot be reached is tried again until it can.
class BluezScanner : public Scanner {
public:
    // Device objects held at most before the unpaired ones are forgotten.
    static constexpr std::size_t devicesHeld = 4096;

    struct Options {
        // A bus address; empty: the system bus (which honours DBUS_SYSTEM_BUS_ADDRESS).
        QString busAddress;
        // How long a missing bus or bluetoothd lasts before it is reported as a problem.
        std::chrono::milliseconds problemAfter{5000};
        // How often an unreachable (or lost) bus is tried again.
        std::chrono::milliseconds reconnectEvery{3000};
    };

    BluezScanner();
    explicit BluezScanner(Options options);
    ~BluezScanner() override;
    BluezScanner(const BluezScanner&) = delete;
    BluezScanner& operator=(const BluezScanner&) = delete;

    void start(std::shared_ptr<SightingBuffer> buffer, StateChanged stateChanged) override;
    // PairedDevices.sightings(): nothing until bluetoothd's objects have been read.
    std::optional<std::vector<Sighting>> pairedDevices() override;
    // BatteryReader.levelsByAddress(): Battery1 percentages by paired key.
    std::map<std::string, int> batteryLevelsByAddress() const;

    BluetoothStatus status() const;
    std::optional<BluezAdapter> adapter() const;
    // True once the first look at the bus has been answered (or the bus could not be reached).
    bool settled() const;
    // Why the bus could not be reached at the last try; empty when it was.
    QString busError() const;
    // Device signals turned into sightings so far.
    std::uint64_t sightingCount() const { return sightings_.load(std::memory_order_relaxed); }

private:
    friend class BluezWorker;
    struct Snapshot {
        bool treeLoaded = false;
        bool settled = false;
        QString busError;
        BluetoothStatus status = BluetoothStatus::starting;
        std::optional<BluezAdapter> adapter;
        std::vector<bluez::DeviceState> paired;  // in object path order
        std::map<std::string, int> batteries;
    };

    Options options_;
    QThread thread_;
    BluezWorker* worker_ = nullptr;
    mutable std::mutex lock_;
    Snapshot snapshot_;
    std::atomic<std::uint64_t> sightings_{0};
};

}  // namespace quillmote
