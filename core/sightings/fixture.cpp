#include "core/sightings/fixture.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>

#include "core/sightings/printable_text.h"

namespace quillmote {

using nlohmann::json;

namespace {

// ---- Writing ----

json bytesJson(const Bytes& bytes) { return hexString(bytes); }

json advertisementJson(const Advertisement& ad) {
    json out = json::object();
    if (ad.isConnectable) out["isConnectable"] = *ad.isConnectable;
    if (ad.localName) out["localName"] = *ad.localName;
    if (ad.manufacturerData) out["manufacturerData"] = bytesJson(*ad.manufacturerData);
    out["otherFields"] = json::object();
    for (const auto& [key, value] : ad.otherFields) out["otherFields"][key] = value;
    out["overflowServiceUUIDs"] = ad.overflowServiceUUIDs;
    out["serviceData"] = json::object();
    for (const auto& [key, value] : ad.serviceData) out["serviceData"][key] = bytesJson(value);
    out["serviceUUIDs"] = ad.serviceUUIDs;
    out["solicitedServiceUUIDs"] = ad.solicitedServiceUUIDs;
    if (ad.txPower) out["txPower"] = *ad.txPower;
    return out;
}

json rangedBeaconJson(const RangedBeacon& beacon) {
    json out = {{"uuid", beacon.uuid.text()}, {"major", beacon.major}, {"minor", beacon.minor}};
    if (beacon.metres) out["metres"] = *beacon.metres;
    return out;
}

json sightingJson(const Sighting& s) {
    json out = {
        {"source", std::string(rawValue(s.source))},
        {"deviceKey", s.deviceKey},
        {"time", formatISO8601(s.time)},
        {"advertisement", advertisementJson(s.advertisement)},
    };
    if (s.rssi) out["rssi"] = *s.rssi;
    if (s.cachedName) out["cachedName"] = *s.cachedName;
    if (s.classOfDevice) out["classOfDevice"] = *s.classOfDevice;
    if (s.isConnected) out["isConnected"] = *s.isConnected;
    if (s.batteryPercent) out["batteryPercent"] = *s.batteryPercent;
    if (s.rangedBeacon) out["rangedBeacon"] = rangedBeaconJson(*s.rangedBeacon);
    return out;
}

// ---- Reading ----

std::string typeName(const json& value) {
    switch (value.type()) {
        case json::value_t::null: return "null";
        case json::value_t::object: return "an object";
        case json::value_t::array: return "an array";
        case json::value_t::string: return "a string";
        case json::value_t::boolean: return "a boolean";
        case json::value_t::number_integer:
        case json::value_t::number_unsigned: return "an integer";
        case json::value_t::number_float: return "a number with a fraction";
        default: return "an unexpected value";
    }
}

// A fault inside one sighting: where ("advertisement.txPower", or empty for the
// sighting itself) and why.
struct SightingFault {
    std::string where;
    std::string reason;
};

// Reads one sighting object, naming the place of any fault.
class SightingReader {
public:
    Sighting read(const json& object) {
        expectObject(object);
        Sighting s;
        auto source = text(required(object, "source"), "source");
        auto parsed = sightingSourceFromRaw(source);
        if (!parsed) fail("source", "\"" + source + "\" is neither \"LE\" nor \"PR\"");
        s.source = *parsed;
        s.deviceKey = text(required(object, "deviceKey"), "deviceKey");
        s.time = instant(required(object, "time"), "time");
        if (auto* v = optional(object, "rssi")) s.rssi = integer<int>(*v, "rssi");
        if (auto* v = optional(object, "cachedName")) s.cachedName = text(*v, "cachedName");
        s.advertisement = advertisement(required(object, "advertisement"));
        if (auto* v = optional(object, "classOfDevice"))
            s.classOfDevice = integer<std::uint32_t>(*v, "classOfDevice");
        if (auto* v = optional(object, "isConnected")) s.isConnected = boolean(*v, "isConnected");
        if (auto* v = optional(object, "batteryPercent")) s.batteryPercent = integer<int>(*v, "batteryPercent");
        if (auto* v = optional(object, "rangedBeacon")) s.rangedBeacon = rangedBeacon(*v);
        return s;
    }

private:
    std::string place_;  // the object being read, "" for the sighting itself

    [[noreturn]] void fail(const std::string& key, const std::string& reason) const {
        throw SightingFault{place_.empty() ? key : key.empty() ? place_ : place_ + "." + key, reason};
    }

    void expectObject(const json& value, const std::string& key = {}) const {
        if (!value.is_object()) fail(key, "expected an object, found " + typeName(value));
    }

    const json& required(const json& object, const char* key) const {
        auto found = object.find(key);
        if (found == object.end()) fail("", "missing key \"" + std::string(key) + "\"");
        return *found;
    }

    // Missing and null both read as absent.
    static const json* optional(const json& object, const char* key) {
        auto found = object.find(key);
        return found == object.end() || found->is_null() ? nullptr : &*found;
    }

    std::string text(const json& value, const std::string& key) const {
        if (!value.is_string()) fail(key, "expected a string, found " + typeName(value));
        return value.get<std::string>();
    }

    bool boolean(const json& value, const std::string& key) const {
        if (!value.is_boolean()) fail(key, "expected true or false, found " + typeName(value));
        return value.get<bool>();
    }

    template <typename Int>
    Int integer(const json& value, const std::string& key) const {
        using Limits = std::numeric_limits<Int>;
        bool fits = false;
        if (value.is_number_unsigned()) {
            fits = value.get<std::uint64_t>() <= static_cast<std::uint64_t>(Limits::max());
        } else if (value.is_number_integer()) {
            auto v = value.get<std::int64_t>();
            fits = v >= static_cast<std::int64_t>(Limits::min()) && v <= static_cast<std::int64_t>(Limits::max());
        } else if (value.is_number_float()) {
            double v = value.get<double>();
            fits = std::floor(v) == v && v >= static_cast<double>(Limits::min()) &&
                   v <= static_cast<double>(Limits::max());
        } else {
            fail(key, "expected an integer, found " + typeName(value));
        }
        if (!fits) fail(key, value.dump() + " is out of range");
        return value.is_number_float() ? static_cast<Int>(value.get<double>()) : value.get<Int>();
    }

    Instant instant(const json& value, const std::string& key) const {
        auto string = text(value, key);
        auto parsed = parseISO8601(string);
        if (!parsed) fail(key, "Not an ISO 8601 date: " + string);
        return *parsed;
    }

    Bytes bytes(const json& value, const std::string& key) const {
        auto string = text(value, key);
        auto parsed = bytesFromHex(string);
        if (!parsed) fail(key, "Not hex: " + string);
        return std::move(*parsed);
    }

    std::vector<std::string> texts(const json& value, const std::string& key) const {
        if (!value.is_array()) fail(key, "expected an array, found " + typeName(value));
        std::vector<std::string> out;
        out.reserve(value.size());
        for (std::size_t i = 0; i < value.size(); ++i) out.push_back(text(value[i], key + "[" + std::to_string(i) + "]"));
        return out;
    }

    Advertisement advertisement(const json& object) {
        expectObject(object, "advertisement");
        place_ = "advertisement";
        Advertisement ad;
        if (auto* v = optional(object, "localName")) ad.localName = text(*v, "localName");
        if (auto* v = optional(object, "manufacturerData")) ad.manufacturerData = bytes(*v, "manufacturerData");
        const json& serviceData = required(object, "serviceData");
        expectObject(serviceData, "serviceData");
        for (const auto& [key, value] : serviceData.items())
            ad.serviceData.emplace(key, bytes(value, "serviceData." + key));
        ad.serviceUUIDs = texts(required(object, "serviceUUIDs"), "serviceUUIDs");
        ad.overflowServiceUUIDs = texts(required(object, "overflowServiceUUIDs"), "overflowServiceUUIDs");
        ad.solicitedServiceUUIDs = texts(required(object, "solicitedServiceUUIDs"), "solicitedServiceUUIDs");
        if (auto* v = optional(object, "txPower")) ad.txPower = integer<int>(*v, "txPower");
        if (auto* v = optional(object, "isConnectable")) ad.isConnectable = boolean(*v, "isConnectable");
        const json& otherFields = required(object, "otherFields");
        expectObject(otherFields, "otherFields");
        for (const auto& [key, value] : otherFields.items())
            ad.otherFields.emplace(key, text(value, "otherFields." + key));
        place_.clear();
        return ad;
    }

    RangedBeacon rangedBeacon(const json& object) {
        expectObject(object, "rangedBeacon");
        place_ = "rangedBeacon";
        RangedBeacon beacon;
        auto uuid = text(required(object, "uuid"), "uuid");
        auto parsed = Uuid::fromText(uuid);
        if (!parsed) fail("uuid", "\"" + uuid + "\" is not a UUID");
        beacon.uuid = *parsed;
        beacon.major = integer<std::uint16_t>(required(object, "major"), "major");
        beacon.minor = integer<std::uint16_t>(required(object, "minor"), "minor");
        // Stored distances are kept exactly as written, even when not positive.
        if (auto* v = optional(object, "metres")) {
            if (!v->is_number()) fail("metres", "expected a number, found " + typeName(*v));
            beacon.metres = v->get<double>();
        }
        place_.clear();
        return beacon;
    }
};

// Streams the top-level array: each element is built as a small document, turned
// into a sighting and dropped, so the whole file never exists as one document.
class CaptureSax {
public:
    std::vector<Sighting> sightings;

    bool null() { return value(nullptr); }
    bool boolean(bool v) { return value(v); }
    bool number_integer(json::number_integer_t v) { return value(v); }
    bool number_unsigned(json::number_unsigned_t v) { return value(v); }
    bool number_float(json::number_float_t v, const std::string&) { return value(v); }
    bool string(std::string& v) { return value(std::move(v)); }
    bool binary(json::binary_t& v) { return value(std::move(v)); }

    bool start_object(std::size_t) { return open(json::object()); }
    bool key(std::string& k) {
        pendingKey_ = std::move(k);
        return true;
    }
    bool end_object() { return close(); }

    bool start_array(std::size_t) {
        if (!inCapture_) {
            inCapture_ = true;
            return true;
        }
        return open(json::array());
    }
    bool end_array() {
        if (stack_.empty()) return true;  // the capture itself ends
        return close();
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
        std::string message = error.what();
        if (auto bracket = message.find("] "); message.starts_with("[json.exception") && bracket != std::string::npos)
            message.erase(0, bracket + 2);
        throw FixtureError("not valid JSON: " + message);
    }

private:
    bool inCapture_ = false;
    json element_;
    std::vector<json*> stack_;
    std::string pendingKey_;

    void notAnArray() const { throw FixtureError("not a capture: the top level is not a JSON array"); }

    // Places a value under the open container, or finishes a scalar element.
    json* place(json&& v) {
        if (!inCapture_) notAnArray();
        if (stack_.empty()) {
            element_ = std::move(v);
            return &element_;
        }
        json& parent = *stack_.back();
        if (parent.is_object()) return &(parent[pendingKey_] = std::move(v));
        parent.push_back(std::move(v));
        return &parent.back();
    }

    bool value(json&& v) {
        place(std::move(v));
        if (stack_.empty()) finishElement();
        return true;
    }
    bool open(json&& container) {
        if (stack_.size() >= Fixture::maxDepth)
            throw FixtureError("sighting " + std::to_string(sightings.size() + 1) + ": nested deeper than " +
                               std::to_string(Fixture::maxDepth) + " levels");
        stack_.push_back(place(std::move(container)));
        return true;
    }
    bool close() {
        stack_.pop_back();
        if (stack_.empty()) finishElement();
        return true;
    }

    void finishElement() {
        if (sightings.size() == Fixture::maxSightings)
            throw FixtureError("too large: more than " + std::to_string(Fixture::maxSightings) + " sightings");
        try {
            sightings.push_back(SightingReader().read(element_));
        } catch (const SightingFault& fault) {
            std::string sighting = "sighting " + std::to_string(sightings.size() + 1);
            throw FixtureError(fault.where.empty() ? sighting + ": " + fault.reason
                                                   : sighting + ", " + fault.where + ": " + fault.reason);
        }
        element_ = nullptr;
    }
};

// Characters from a stream, stopping the parse once there have been too many: a
// single value can otherwise grow until memory runs out before it ends.
class BoundedChars {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = char;

    BoundedChars() = default;
    explicit BoundedChars(std::istream& in) : at_(in) {}

    char operator*() const { return *at_; }
    BoundedChars& operator++() {
        if (++count_ > Fixture::maxBytes)
            throw FixtureError("too large: more than " + std::to_string(Fixture::maxBytes >> 20) + " MB");
        ++at_;
        return *this;
    }
    bool operator==(const BoundedChars& other) const { return at_ == other.at_; }

private:
    std::istreambuf_iterator<char> at_;
    std::size_t count_ = 0;
};

template <typename... Input>
std::vector<Sighting> decodeInput(Input&&... input) {
    CaptureSax sax;
    json::sax_parse(std::forward<Input>(input)..., &sax);
    return std::move(sax.sightings);
}

}  // namespace

FixtureError::FixtureError(std::string_view reason) : std::runtime_error(printableText(reason)) {}

namespace Fixture {

std::string encode(std::span<const Sighting> sightings) {
    json array = json::array();
    for (const auto& s : sightings) array.push_back(sightingJson(s));
    // Names heard over the air may hold invalid UTF-8; they are written with U+FFFD.
    return array.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::vector<Sighting> decode(std::string_view text) {
    if (text.size() > maxBytes) throw FixtureError("too large: more than " + std::to_string(maxBytes >> 20) + " MB");
    return decodeInput(text);
}

std::vector<Sighting> decode(std::istream& in) { return decodeInput(BoundedChars(in), BoundedChars()); }

std::vector<Sighting> decodeFile(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) throw FixtureError("it is a folder, not a file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FixtureError(std::strerror(errno));
    // Said at once for a file, rather than after reading half a gigabyte.
    if (const auto size = std::filesystem::file_size(path, error); !error && size > maxBytes)
        throw FixtureError("too large: " + std::to_string(size >> 20) + " MB, at most " +
                           std::to_string(maxBytes >> 20) + " MB");
    return decode(in);
}

}  // namespace Fixture

}  // namespace quillmote
