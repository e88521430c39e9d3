#include "core/decoding/beacons.h"

#include <array>

namespace quillmote {

namespace {

constexpr std::size_t iBeaconLength = 21;
constexpr std::size_t uidFrameLength = 18;

constexpr std::array<std::string_view, 4> urlSchemes{"http://www.", "https://www.", "http://", "https://"};
constexpr std::array<std::string_view, 14> urlExpansions{
    ".com/", ".org/", ".edu/", ".net/", ".info/", ".biz/", ".gov/",
    ".com",  ".org",  ".edu",  ".net",  ".info",  ".biz",  ".gov",
};

Bytes copyOf(ByteView view) { return Bytes(view.begin(), view.end()); }

// Stricter than the published encoding: a reserved or non-printable byte rejects
// the whole URL, so nothing half-decoded ever reaches a label.
std::optional<std::string> decodeURL(ByteView encoded) {
    auto scheme = byteAt(encoded, 0);
    if (!scheme || *scheme >= urlSchemes.size()) return std::nullopt;
    std::string url(urlSchemes[*scheme]);
    for (std::uint8_t b : bytesFrom(encoded, 1)) {
        if (b < urlExpansions.size()) {
            url += urlExpansions[b];
        } else if (b >= 33 && b <= 126) {
            url.push_back(static_cast<char>(b));
        } else {
            return std::nullopt;
        }
    }
    return url;
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

constexpr std::size_t uuidTextLength = 36;

// Caller guarantees `start + uuidTextLength <= text.size()`.
bool isCanonicalUuidAt(std::string_view text, std::size_t start) {
    for (std::size_t i = 0; i < uuidTextLength; ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        char c = text[start + i];
        if (dash ? c != '-' : !isHexDigit(c)) return false;
    }
    return true;
}

}  // namespace

std::optional<IBeacon> IBeacon::from(const ContinuityMessage& message) {
    if (message.kind() != ContinuityKind::iBeacon) return std::nullopt;
    ByteView value(message.value);
    if (value.size() < iBeaconLength) return std::nullopt;
    auto major = uint16BigEndian(value, 16);
    auto minor = uint16BigEndian(value, 18);
    auto power = byteAt(value, 20);
    if (!major || !minor || !power) return std::nullopt;

    IBeacon beacon;
    auto uuid = bytesFrom(value, 0, beacon.proximityUUID.bytes.size());
    std::copy(uuid.begin(), uuid.end(), beacon.proximityUUID.bytes.begin());
    beacon.major = *major;
    beacon.minor = *minor;
    beacon.measuredPower = static_cast<std::int8_t>(*power);
    return beacon;
}

std::optional<Eddystone> Eddystone::fromServiceData(ByteView serviceData) {
    auto frameType = byteAt(serviceData, 0);
    if (!frameType) return std::nullopt;
    Eddystone eddystone;
    switch (*frameType) {
        case 0x00:
            if (serviceData.size() < uidFrameLength) return std::nullopt;
            eddystone.frame = Frame::uid;
            eddystone.namespaceID = copyOf(bytesFrom(serviceData, 2, 10));
            eddystone.instance = copyOf(bytesFrom(serviceData, 12, 6));
            return eddystone;
        case 0x10: {
            auto url = decodeURL(bytesFrom(serviceData, 2));
            if (!url) return std::nullopt;
            eddystone.frame = Frame::url;
            eddystone.url = std::move(*url);
            return eddystone;
        }
        case 0x20: eddystone.frame = Frame::telemetry; return eddystone;
        case 0x30: eddystone.frame = Frame::encryptedID; return eddystone;
        case 0x40:
        case 0x41: eddystone.frame = Frame::findMyDeviceNetwork; return eddystone;
        default: return std::nullopt;
    }
}

std::string Eddystone::label() const {
    switch (frame) {
        case Frame::uid: return "Eddystone beacon (ID)";
        case Frame::url: return "Eddystone beacon \u2192 " + url;
        case Frame::telemetry: return "Eddystone beacon (telemetry)";
        case Frame::encryptedID: return "Eddystone beacon (encrypted ID)";
        case Frame::findMyDeviceNetwork: return "Find My Device tracker (Google network)";
    }
    return "Eddystone beacon (telemetry)";
}

namespace BeaconID {

std::optional<Uuid> extract(std::string_view text) {
    for (std::size_t start = 0; start + uuidTextLength <= text.size(); ++start)
        if (isCanonicalUuidAt(text, start)) return Uuid::fromText(text.substr(start, uuidTextLength));
    return std::nullopt;
}

}  // namespace BeaconID

}  // namespace quillmote
