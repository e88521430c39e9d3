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
#include "core/sightings/hex.h"

class QDBusArgument;

namespace quillmote {

class BluezWorker;

// The pure half of the BlueZ mapping: everything here works on values already read
// off the wire, without a bus.
namespace bluez {

// BlueZ's lower-case 128-bit texts in the upper-case form sightings use: a Bluetooth
// Base UUID becomes its four short digits ("FEAA"), any other UUID stays in full
// 8-4-4-4-12 form; text that is no UUID at all is only upper-cased.
std::string serviceUuidText(std::string_view bluezText);

// A paired device's key: the address lower-cased with "-" for ":"; "unknown" when empty.
std::string pairedKey(std::string_view address);

// "AA:BB:CC:DD:EE:FF" from "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF"; empty when the path is no device path.
std::string addressFromDevicePath(std::string_view path);

// The manufacturer-specific field as on the air: company identifier little-endian, then the bytes.
Bytes manufacturerField(std::uint16_t company, ByteView data);

// The adapter's radio state: `PowerState` (experimental, usually absent) wins over `Powered`.
BluetoothStatus adapterStatus(std::optional<bool> powered, const std::optional<QString>& powerState);

// Whether a D-Bus error name means the user may not use bluetoothd.
bool isAccessError(const QString& errorName);

// One value read from a D-Bus variant as QtDBus hands it over (basic types as
// themselves, `ay` as QByteArray, `as` as QStringList, other containers as a
// QDBusArgument still to be read), turned into the shapes a sighting holds.
// Each returns nothing for a value of any other type.
std::optional<int> integerValue(const QVariant& value);
std::optional<std::string> textValue(const QVariant& value);
std::optional<bool> boolValue(const QVariant& value);
// `a{qv}` with `ay` values: the first well-formed entry, company identifier first.
std::optional<Bytes> manufacturerDataValue(const QVariant& value);
// `a{sv}` with `ay` values, rekeyed by serviceUuidText; the first of two equal keys stays;
// entries of another type are dropped, and a value that is no such map gives an empty map.
std::map<std::string, Bytes> serviceDataValue(const QVariant& value);
// `as`, each turned by serviceUuidText; any other type gives an empty list.
std::vector<std::string> uuidListValue(const QVariant& value);
// The value's textual description, for otherFields ("true", "-42", "[a, b]", "{1: 0A}", "0A FF").
std::string describe(const QVariant& value);

// A device object as the scanner keeps it between signals.
struct DeviceState {
    std::string address;  // as BlueZ gives it
    std::optional<std::string> name;
    bool paired = false;
    bool connected = false;
    std::optional<int> rssi;
    std::optional<std::uint32_t> classOfDevice;
    std::optional<int> batteryPercent;
};

// One pass over a Device1 property map (`a{sv}`, as carried by InterfacesAdded or
// PropertiesChanged): updates `device` and builds the low-energy sighting. Only a map
// that carries something an advertisement delivers (RSSI, ManufacturerData,
// ServiceData, TxPower, AdvertisingFlags, AdvertisingData) is a sighting: bluetoothd's
// own state (Connected, Paired, Alias…) only updates `device`, and Name or UUIDs count
// only beside one of those. `otherFields` keeps the advertisement's keys only. The key
// is the device's address (from the map, else as held, else from the object path);
// `cachedName` is the Name held for the object after this signal.
std::optional<Sighting> applyDeviceProperties(const QDBusArgument& properties, const QString& path,
                                              DeviceState& device, Instant now);

// The paired sightings from the held device objects, in the given order.
std::vector<Sighting> pairedSightings(const std::vector<DeviceState>& paired,
                                      const std::map<std::string, int>& levels, Instant now);

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
