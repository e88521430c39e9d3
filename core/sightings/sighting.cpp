#include "core/sightings/sighting.h"

namespace quillmote {

std::string_view rawValue(SightingSource source) {
    return source == SightingSource::paired ? "PR" : "LE";
}

std::optional<SightingSource> sightingSourceFromRaw(std::string_view raw) {
    if (raw == "LE") return SightingSource::lowEnergy;
    if (raw == "PR") return SightingSource::paired;
    return std::nullopt;
}

std::string_view displayName(SightingSource source) {
    return source == SightingSource::paired ? "Paired" : "Low energy";
}

Sighting::Sighting(SightingSource source, std::string deviceKey, Instant time, std::optional<int> rssi,
                   std::optional<std::string> cachedName, Advertisement advertisement,
                   std::optional<std::uint32_t> classOfDevice, std::optional<bool> isConnected,
                   std::optional<int> batteryPercent, std::optional<RangedBeacon> rangedBeacon)
    : source(source),
      deviceKey(std::move(deviceKey)),
      time(time),
      rssi(rssi && isPlausibleRSSI(*rssi) ? rssi : std::nullopt),
      cachedName(std::move(cachedName)),
      advertisement(std::move(advertisement)),
      classOfDevice(classOfDevice),
      isConnected(isConnected),
      batteryPercent(batteryPercent),
      rangedBeacon(rangedBeacon) {}

}  // namespace quillmote
