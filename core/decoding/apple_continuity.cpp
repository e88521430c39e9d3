#include "core/decoding/apple_continuity.h"

#include <unordered_map>

namespace quillmote {

namespace {

// A nibble of 0 to 10 is a level in tens of percent; 11 to 15 mean "no reading".
std::optional<int> nibbleLevel(unsigned nibble) {
    if (nibble > 10) return std::nullopt;
    return static_cast<int>(nibble) * 10;
}

const std::unordered_map<std::uint16_t, std::string_view>& models() {
    static const std::unordered_map<std::uint16_t, std::string_view> table{
        {0x0220, "AirPods (1st gen)"},
        {0x0F20, "AirPods (2nd gen)"},
        {0x1320, "AirPods (3rd gen)"},
        {0x0E20, "AirPods Pro"},
        {0x1420, "AirPods Pro (2nd gen)"},
        {0x2420, "AirPods Pro (2nd gen, USB-C)"},
        {0x0A20, "AirPods Max"},
        {0x0320, "Powerbeats3"},
        {0x0B20, "Powerbeats Pro"},
        {0x0520, "BeatsX"},
        {0x0620, "Beats Solo3"},
        {0x0920, "Beats Studio3"},
        {0x0C20, "Beats Solo Pro"},
        {0x1020, "Beats Flex"},
        {0x1120, "Beats Studio Buds"},
        {0x1220, "Beats Fit Pro"},
        {0x1720, "Beats Studio Buds+"},
    };
    return table;
}

}  // namespace

std::string_view displayName(ContinuityKind kind) {
    switch (kind) {
        case ContinuityKind::iBeacon: return "iBeacon";
        case ContinuityKind::airPrint: return "AirPrint";
        case ContinuityKind::airDrop: return "AirDrop";
        case ContinuityKind::homeKit: return "HomeKit";
        case ContinuityKind::proximityPairing: return "Proximity pairing";
        case ContinuityKind::heySiri: return "Hey Siri";
        case ContinuityKind::airPlayTarget: return "AirPlay target";
        case ContinuityKind::airPlaySource: return "AirPlay source";
        case ContinuityKind::magicSwitch: return "Magic Switch";
        case ContinuityKind::handoff: return "Handoff";
        case ContinuityKind::tetheringTarget: return "Instant Hotspot target";
        case ContinuityKind::tetheringSource: return "Instant Hotspot source";
        case ContinuityKind::nearbyAction: return "Nearby Action";
        case ContinuityKind::nearbyInfo: return "Nearby Info";
        case ContinuityKind::findMy: return "Find My";
        case ContinuityKind::unknown: return "Unknown";
    }
    return "Unknown";
}

ContinuityKind ContinuityMessage::kind() const {
    for (ContinuityKind kind : allContinuityKinds)
        if (static_cast<std::uint8_t>(kind) == type) return kind;
    return ContinuityKind::unknown;
}

namespace AppleContinuity {

std::vector<ContinuityMessage> messages(ByteView payload) {
    std::vector<ContinuityMessage> result;
    std::size_t offset = 0;
    while (offset < payload.size()) {
        auto type = byteAt(payload, static_cast<std::ptrdiff_t>(offset));
        auto length = byteAt(payload, static_cast<std::ptrdiff_t>(offset + 1));
        if (!type || !length) break;
        std::size_t end = offset + 2 + *length;
        if (end > payload.size()) break;
        auto value = bytesFrom(payload, offset + 2, *length);
        result.push_back({*type, Bytes(value.begin(), value.end())});
        offset = end;
    }
    return result;
}

}  // namespace AppleContinuity

std::optional<ProximityPairing> ProximityPairing::from(const ContinuityMessage& message) {
    if (message.kind() != ContinuityKind::proximityPairing) return std::nullopt;
    ByteView value(message.value);
    if (value.size() < fullLength) return std::nullopt;
    auto prefix = byteAt(value, 0);
    auto modelCode = uint16BigEndian(value, 1);
    auto buds = byteAt(value, 4);
    auto caseByte = byteAt(value, 5);
    if (!prefix || *prefix != 0x01 || !modelCode || !buds || !caseByte) return std::nullopt;

    ProximityPairing pairing;
    pairing.modelCode = *modelCode;
    pairing.budBatteries = {nibbleLevel(*buds >> 4), nibbleLevel(*buds & 0x0F)};
    pairing.caseBattery = nibbleLevel(*caseByte & 0x0F);
    return pairing;
}

std::optional<std::string_view> ProximityPairing::modelName() const {
    const auto& table = models();
    auto found = table.find(modelCode);
    if (found == table.end()) return std::nullopt;
    return found->second;
}

std::optional<FindMyDevice> findMyDeviceFrom(const ContinuityMessage& message) {
    if (message.kind() != ContinuityKind::findMy) return std::nullopt;
    auto status = byteAt(message.value, 0);
    if (!status) return std::nullopt;
    switch ((*status >> 4) & 0x03) {
        case 1: return FindMyDevice::airTag;
        case 2: return FindMyDevice::accessoryOrAirPods;
        case 3: return FindMyDevice::airPods;
        default: return FindMyDevice::appleDevice;
    }
}

std::string_view label(FindMyDevice device) {
    switch (device) {
        case FindMyDevice::appleDevice: return "Apple device (Find My)";
        case FindMyDevice::airTag: return "AirTag";
        case FindMyDevice::accessoryOrAirPods: return "AirPods or Find My accessory";
        case FindMyDevice::airPods: return "AirPods (Find My)";
    }
    return "Apple device (Find My)";
}

}  // namespace quillmote
