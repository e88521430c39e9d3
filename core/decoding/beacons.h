#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/decoding/apple_continuity.h"
#include "core/sightings/hex.h"
#include "core/sightings/uuid.h"

namespace quillmote {

// Apple's iBeacon, carried as a Continuity message of type 0x02.
struct IBeacon {
    Uuid proximityUUID;
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    int measuredPower = 0;  // calibrated strength at one metre, dBm

    static std::optional<IBeacon> from(const ContinuityMessage& message);

    friend bool operator==(const IBeacon&, const IBeacon&) = default;
};

// One Eddystone frame from the service data under FEAA (which also carries the
// Find My Device network frames of Android trackers).
struct Eddystone {
    enum class Frame { uid, url, telemetry, encryptedID, findMyDeviceNetwork };

    static constexpr std::string_view serviceUUID = "FEAA";

    Frame frame = Frame::telemetry;
    Bytes namespaceID;  // uid: 10 bytes
    Bytes instance;     // uid: 6 bytes
    std::string url;    // url: the expanded text

    static std::optional<Eddystone> fromServiceData(ByteView serviceData);

    // The calibrated power at 0 m that UID and URL frames carry in byte 1, dBm.
    static std::optional<int> transmitPowerAtAntenna(ByteView frame);

    // "Eddystone beacon (ID)", "Eddystone beacon → <url>", …
    std::string label() const;

    friend bool operator==(const Eddystone&, const Eddystone&) = default;
};

namespace BeaconID {
// The first canonical 8-4-4-4-12 UUID anywhere in the text, either case.
std::optional<Uuid> extract(std::string_view text);
}  // namespace BeaconID

}  // namespace quillmote
