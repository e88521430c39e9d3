#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/sightings/advertisement.h"
#include "core/sightings/ranged_beacon.h"
#include "core/time/instant.h"

namespace quillmote {

enum class SightingSource { lowEnergy, paired };

inline constexpr std::array<SightingSource, 2> allSightingSources{SightingSource::lowEnergy,
                                                                   SightingSource::paired};

// "LE" / "PR": the stored form.
std::string_view rawValue(SightingSource source);
std::optional<SightingSource> sightingSourceFromRaw(std::string_view raw);
// "Low energy" / "Paired"
std::string_view displayName(SightingSource source);

// One observation of one device: an advertisement packet, or a poll of a paired device.
struct Sighting {
    SightingSource source = SightingSource::lowEnergy;
    // Low energy: the address as the radio reports it. Paired: the address in
    // lower case with "-" for ":", or "unknown".
    std::string deviceKey;
    Instant time;
    std::optional<int> rssi;  // dBm
    std::optional<std::string> cachedName;
    Advertisement advertisement;
    std::optional<std::uint32_t> classOfDevice;
    std::optional<bool> isConnected;
    std::optional<int> batteryPercent;
    std::optional<RangedBeacon> rangedBeacon;

    Sighting() = default;
    // Keeps rssi only in -120…-1: radios report 0 or 127 for "unavailable".
    Sighting(SightingSource source, std::string deviceKey, Instant time, std::optional<int> rssi,
             std::optional<std::string> cachedName = std::nullopt, Advertisement advertisement = {},
             std::optional<std::uint32_t> classOfDevice = std::nullopt,
             std::optional<bool> isConnected = std::nullopt,
             std::optional<int> batteryPercent = std::nullopt,
             std::optional<RangedBeacon> rangedBeacon = std::nullopt);

    static bool isPlausibleRSSI(int rssi) { return rssi >= -120 && rssi <= -1; }

    friend bool operator==(const Sighting&, const Sighting&) = default;
};

}  // namespace quillmote
