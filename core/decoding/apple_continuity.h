#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/sightings/hex.h"

namespace quillmote {

enum class ContinuityKind : std::uint8_t {
    iBeacon = 0x02,
    airPrint = 0x03,
    airDrop = 0x05,
    homeKit = 0x06,
    proximityPairing = 0x07,
    heySiri = 0x08,
    airPlayTarget = 0x09,
    airPlaySource = 0x0A,
    magicSwitch = 0x0B,
    handoff = 0x0C,
    tetheringTarget = 0x0D,
    tetheringSource = 0x0E,
    nearbyAction = 0x0F,
    nearbyInfo = 0x10,
    findMy = 0x12,
    unknown = 0xFF,
};

inline constexpr std::array<ContinuityKind, 16> allContinuityKinds{
    ContinuityKind::iBeacon,         ContinuityKind::airPrint,        ContinuityKind::airDrop,
    ContinuityKind::homeKit,         ContinuityKind::proximityPairing, ContinuityKind::heySiri,
    ContinuityKind::airPlayTarget,   ContinuityKind::airPlaySource,   ContinuityKind::magicSwitch,
    ContinuityKind::handoff,         ContinuityKind::tetheringTarget, ContinuityKind::tetheringSource,
    ContinuityKind::nearbyAction,    ContinuityKind::nearbyInfo,      ContinuityKind::findMy,
    ContinuityKind::unknown,
};

// "Nearby Info", "Find My", … ; "Unknown" for `unknown`.
std::string_view displayName(ContinuityKind kind);

// One type-length-value element of an Apple manufacturer payload.
struct ContinuityMessage {
    std::uint8_t type = 0;
    Bytes value;

    // The kind whose raw value is `type`, or `unknown`.
    ContinuityKind kind() const;

    friend bool operator==(const ContinuityMessage&, const ContinuityMessage&) = default;
};

namespace AppleContinuity {
// Walks type, length, value elements in payload order; stops at the first element
// that does not fit, keeping those before it.
std::vector<ContinuityMessage> messages(ByteView payload);
}  // namespace AppleContinuity

// AirPods and Beats pairing advertisements, with battery levels in percent.
struct ProximityPairing {
    static constexpr std::size_t fullLength = 25;

    std::uint16_t modelCode = 0;
    // The bud in the high nibble, then the bud in the low nibble; absent when not a level.
    std::array<std::optional<int>, 2> budBatteries;
    std::optional<int> caseBattery;

    static std::optional<ProximityPairing> from(const ContinuityMessage& message);

    // "AirPods Pro", … ; absent for model codes not in the table.
    std::optional<std::string_view> modelName() const;

    friend bool operator==(const ProximityPairing&, const ProximityPairing&) = default;
};

// What a Find My (lost-and-found) advertisement says it is.
enum class FindMyDevice { appleDevice, airTag, accessoryOrAirPods, airPods };

std::optional<FindMyDevice> findMyDeviceFrom(const ContinuityMessage& message);
// "Apple device (Find My)", "AirTag", "AirPods or Find My accessory", "AirPods (Find My)"
std::string_view label(FindMyDevice device);

}  // namespace quillmote
