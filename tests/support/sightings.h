#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "core/sightings/sighting.h"

namespace quillmote::test {

// A fixed moment the tests count from.
inline const Instant t0 = std::chrono::sys_days(std::chrono::year(2026) / 3 / 1) + std::chrono::hours(14);

inline Instant at(double seconds) { return addingSeconds(t0, seconds); }

inline Sighting lowEnergy(std::string key, double seconds, std::optional<int> rssi = -60, Advertisement ad = {}) {
    return Sighting(SightingSource::lowEnergy, std::move(key), at(seconds), rssi, std::nullopt, std::move(ad));
}

inline Sighting paired(std::string key, double seconds, std::optional<bool> connected = true) {
    return Sighting(SightingSource::paired, std::move(key), at(seconds), -50, std::nullopt, {}, 0x240404,
                    connected);
}

inline Advertisement named(std::string name) {
    Advertisement ad;
    ad.localName = std::move(name);
    return ad;
}

}  // namespace quillmote::test
