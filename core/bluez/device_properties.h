#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/sightings/sighting.h"

// BlueZ's Device1 properties turned into sightings: a pure function of values already
// read off the bus, so that anything a radio or bluetoothd sends can be fuzzed.
namespace quillmote::bluez {

// A property value in the shapes the mapping reads: basic values, `ay`, `as`, the
// manufacturer map `a{qv}` and the service-data map `a{sv}` (entries whose value is
// `ay`), or, for any other type, the text that describes it.
struct PropertyValue {
    struct Described {
        std::string text;
        friend bool operator==(const Described&, const Described&) = default;
    };
    using CompanyData = std::vector<std::pair<std::uint16_t, Bytes>>;
    using KeyedData = std::vector<std::pair<std::string, Bytes>>;

    std::variant<bool, std::int64_t, double, std::string, Bytes, std::vector<std::string>, CompanyData, KeyedData,
                 Described>
        value;
};

// One Device1 property map (`a{sv}`), in the order it arrived.
using DeviceProperties = std::vector<std::pair<std::string, PropertyValue>>;

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

// Each gives nothing for a value of another type.
std::optional<int> integerValue(const PropertyValue& value);
std::optional<std::string> textValue(const PropertyValue& value);
std::optional<bool> boolValue(const PropertyValue& value);
// The first entry, company identifier first.
std::optional<Bytes> manufacturerDataValue(const PropertyValue& value);
// Rekeyed by serviceUuidText; the first of two equal keys stays.
std::map<std::string, Bytes> serviceDataValue(const PropertyValue& value);
// Each turned by serviceUuidText.
std::vector<std::string> uuidListValue(const PropertyValue& value);
// The value as otherFields shows it ("true", "-42", "[a, b]", "{1: 0A}", "0A FF").
std::string describe(const PropertyValue& value);

// What a radio may make the program hold: a name as long as any advertisement or
// the GAP device name can carry, and data as long as an extended advertisement. Longer
// values are cut there (a name at a character boundary).
inline constexpr std::size_t maxNameBytes = 248;
inline constexpr std::size_t maxDataBytes = 1650;
inline constexpr std::size_t maxListEntries = 64;  // UUIDs, service data entries

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

// One pass over a Device1 property map (as carried by InterfacesAdded or
// PropertiesChanged): updates `device` and builds the low-energy sighting. Only a map
// that carries something an advertisement delivers (RSSI, ManufacturerData,
// ServiceData, TxPower, AdvertisingFlags, AdvertisingData) is a sighting: bluetoothd's
// own state (Connected, Paired, Alias…) only updates `device`, and Name or UUIDs count
// only beside one of those. `otherFields` keeps the advertisement's keys only. The key
// is the device's address (from the map, else as held, else from the object path);
// `cachedName` is the Name held for the object after this signal.
std::optional<Sighting> applyDeviceProperties(const DeviceProperties& properties, std::string_view path,
                                              DeviceState& device, Instant now);

// The paired sightings from the held device objects, in the given order.
std::vector<Sighting> pairedSightings(const std::vector<DeviceState>& paired,
                                      const std::map<std::string, int>& levels, Instant now);

}  // namespace quillmote::bluez
