#pragma once

#include <QString>
#include <QThread>
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

namespace quillmote {

class BluezWorker;

// The pure half of the BlueZ mapping: everything here works on values already read
// off the wire, without a bus.
namespace bluez {

// The adapter's radio state: `PowerState` (experimental, usually absent) wins over `Powered`.
BluetoothStatus adapterStatus(std::optional<bool> powered, const std::optional<std::string>& powerState);

// Whether a D-Bus error name means the user may not use bluetoothd.
bool isAccessError(std::string_view errorName);

}  // namespace bluez

// The adapter a scanner is using, as bluez-status shows it.
struct BluezAdapter {
    QString path;
    QString address;
    QString name;
};

// The low-energy scanner over BlueZ on the system D-Bus. A thread of its own owns a
// private sd-bus connection, read from that thread's event loop; it finds the adapter
// through the object manager, follows InterfacesAdded/Removed, PropertiesChanged and
// bluetoothd's name owner, sets the discovery filter and starts discovery whenever the
// adapter becomes powered, and turns every Device1 signal that carries advertisement
// data into one sighting. It keeps the object tree so that paired devices and battery
// levels are read without a D-Bus call. A bus that cannot be reached is tried again
// until it can.
class BluezScanner : public Scanner {
public:
    // Device objects held at most before the unpaired ones are forgotten.
    static constexpr std::size_t devicesHeld = 4096;

    struct Options {
        // A bus address; empty: DBUS_SYSTEM_BUS_ADDRESS when set, else the system bus.
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
