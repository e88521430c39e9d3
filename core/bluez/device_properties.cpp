#include "core/bluez/device_properties.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "core/sightings/hex.h"
#include "core/sightings/uuid.h"

namespace quillmote::bluez {

namespace {

constexpr std::size_t maxDescribedBytes = 4096;

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// At most `most` bytes, never splitting a UTF-8 sequence.
std::string cut(std::string text, std::size_t most) {
    if (text.size() <= most) return text;
    std::size_t end = most;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

Bytes cut(ByteView data) { return Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), maxDataBytes))); }

template <typename T>
const T* as(const PropertyValue& value) {
    return std::get_if<T>(&value.value);
}

// Elements ", "-separated between `open` and `close`.
template <typename Items, typename Text>
std::string joined(const Items& items, char open, Text text, char close) {
    std::string out(1, open);
    for (const auto& item : items) {
        if (out.size() > 1) out += ", ";
        out += text(item);
        if (out.size() > maxDescribedBytes) break;
    }
    out += close;
    return out;
}

}  // namespace

std::string serviceUuidText(std::string_view text) {
    static constexpr std::array<std::uint8_t, 12> baseTail{0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                           0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB};
    const auto uuid = Uuid::fromText(text);
    if (!uuid) {
        std::string upperCased = cut(std::string(text), maxNameBytes);
        for (char& c : upperCased) c = upper(c);
        return upperCased;
    }
    const auto& b = uuid->bytes;
    if (b[0] == 0 && b[1] == 0 && std::equal(baseTail.begin(), baseTail.end(), b.begin() + 4))
        return hex4(static_cast<std::uint16_t>(b[2] << 8 | b[3]));
    return uuid->text();
}

std::string pairedKey(std::string_view address) {
    if (address.empty()) return "unknown";
    std::string key(address);
    for (char& c : key) c = c == ':' ? '-' : lower(c);
    return key;
}

std::string addressFromDevicePath(std::string_view path) {
    const auto slash = path.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (!last.starts_with("dev_") || last.size() != 4 + 17) return {};
    std::string address(last.substr(4));
    for (char& c : address) c = c == '_' ? ':' : upper(c);
    return address;
}

Bytes manufacturerField(std::uint16_t company, ByteView data) {
    Bytes field;
    field.reserve(data.size() + 2);
    field.push_back(static_cast<std::uint8_t>(company & 0xFF));
    field.push_back(static_cast<std::uint8_t>(company >> 8));
    field.insert(field.end(), data.begin(), data.end());
    return field;
}

// An integer of any width, or a real number's whole part when it fits.
std::optional<std::int64_t> wholeNumber(const PropertyValue& value) {
    if (auto integer = as<std::int64_t>(value)) return *integer;
    if (auto real = as<double>(value); real && *real > -9.0e18 && *real < 9.0e18)
        return static_cast<std::int64_t>(*real);
    return std::nullopt;
}

std::optional<int> integerValue(const PropertyValue& value) {
    const auto wide = wholeNumber(value);
    if (!wide || *wide < std::numeric_limits<int>::min() || *wide > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(*wide);
}

std::optional<std::string> textValue(const PropertyValue& value) {
    if (auto text = as<std::string>(value)) return cut(*text, maxNameBytes);
    return std::nullopt;
}

std::optional<bool> boolValue(const PropertyValue& value) {
    if (auto flag = as<bool>(value)) return *flag;
    return std::nullopt;
}

std::optional<Bytes> manufacturerDataValue(const PropertyValue& value) {
    auto entries = as<PropertyValue::CompanyData>(value);
    if (!entries || entries->empty()) return std::nullopt;
    const auto& [company, data] = entries->front();
    return manufacturerField(company, ByteView(data.data(), std::min(data.size(), maxDataBytes)));
}

std::map<std::string, Bytes> serviceDataValue(const PropertyValue& value) {
    std::map<std::string, Bytes> result;
    if (auto entries = as<PropertyValue::KeyedData>(value))
        for (const auto& [uuid, data] : *entries) {
            if (result.size() == maxListEntries) break;
            result.try_emplace(serviceUuidText(uuid), cut(data));
        }
    return result;
}

std::vector<std::string> uuidListValue(const PropertyValue& value) {
    std::vector<std::string> result;
    if (auto texts = as<std::vector<std::string>>(value))
        for (const auto& text : *texts) {
            if (result.size() == maxListEntries) break;
            result.push_back(serviceUuidText(text));
        }
    return result;
}

std::string describe(const PropertyValue& value) {
    struct Describe {
        std::string operator()(bool flag) const { return flag ? "true" : "false"; }
        std::string operator()(std::int64_t integer) const { return std::to_string(integer); }
        std::string operator()(double real) const {
            char text[64];
            std::snprintf(text, sizeof text, "%g", real);
            return text;
        }
        std::string operator()(const std::string& text) const { return text; }
        std::string operator()(const Bytes& bytes) const { return hexString(ByteView(bytes.data(), std::min(bytes.size(), maxDataBytes))); }
        std::string operator()(const std::vector<std::string>& texts) const {
            return joined(texts, '[', [](const std::string& text) { return text; }, ']');
        }
        std::string operator()(const PropertyValue::CompanyData& entries) const {
            return joined(entries, '{', [this](const auto& entry) {
                return std::to_string(entry.first) + ": " + (*this)(entry.second);
            }, '}');
        }
        std::string operator()(const PropertyValue::KeyedData& entries) const {
            return joined(entries, '{', [this](const auto& entry) { return entry.first + ": " + (*this)(entry.second); }, '}');
        }
        std::string operator()(const PropertyValue::Described& described) const { return described.text; }
    };
    return cut(std::visit(Describe{}, value.value), maxDescribedBytes);
}

std::optional<Sighting> applyDeviceProperties(const DeviceProperties& properties, std::string_view path,
                                              DeviceState& device, Instant now) {
    Advertisement advertisement;
    std::optional<int> rssi;
    bool heard = false;  // the map carries something only an advertisement delivers
    for (const auto& [key, value] : properties) {
        if (key == "RSSI") {
            rssi = integerValue(value);
            device.rssi = rssi;
            heard = true;
        } else if (key == "ManufacturerData") {
            advertisement.manufacturerData = manufacturerDataValue(value);
            heard = true;
        } else if (key == "ServiceData") {
            advertisement.serviceData = serviceDataValue(value);
            heard = true;
        } else if (key == "TxPower") {
            advertisement.txPower = integerValue(value);
            heard = true;
        } else if (key == "UUIDs") {
            advertisement.serviceUUIDs = uuidListValue(value);
        } else if (key == "Name") {
            advertisement.localName = textValue(value);
            if (advertisement.localName) device.name = advertisement.localName;
        } else if (key == "Address") {
            if (auto address = textValue(value)) {
                for (char& c : *address) c = upper(c);
                device.address = std::move(*address);
            }
        } else if (key == "Paired") {
            if (auto paired = boolValue(value)) device.paired = *paired;
        } else if (key == "Connected") {
            if (auto connected = boolValue(value)) device.connected = *connected;
        } else if (key == "Class") {
            const auto wide = wholeNumber(value);
            device.classOfDevice = wide && *wide >= 0 && *wide <= std::numeric_limits<std::uint32_t>::max()
                                       ? std::optional(static_cast<std::uint32_t>(*wide))
                                       : std::nullopt;
        } else if (key == "AdvertisingFlags" || key == "AdvertisingData") {
            advertisement.otherFields.insert_or_assign(key, describe(value));
            heard = true;
        } else if (key == "Appearance") {
            advertisement.otherFields.insert_or_assign(key, describe(value));
        }
        // Everything else is bluetoothd's own state (Alias, Trusted, Bonded, Icon…).
    }
    if (device.address.empty()) device.address = addressFromDevicePath(path);
    if (!heard) return std::nullopt;
    return Sighting(SightingSource::lowEnergy, device.address, now, rssi, device.name, std::move(advertisement));
}

std::vector<Sighting> pairedSightings(const std::vector<DeviceState>& paired, const std::map<std::string, int>& levels,
                                      Instant now) {
    std::vector<Sighting> sightings;
    sightings.reserve(paired.size());
    for (const auto& device : paired) {
        std::string key = pairedKey(device.address);
        const auto level = levels.find(key);
        sightings.emplace_back(SightingSource::paired, std::move(key), now,
                               device.connected ? device.rssi : std::nullopt, device.name, Advertisement{},
                               device.classOfDevice, device.connected,
                               level == levels.end() ? std::nullopt : std::optional<int>(level->second));
    }
    return sightings;
}

}  // namespace quillmote::bluez
