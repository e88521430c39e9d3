#include "core/table/device_record.h"

#include <algorithm>

#include "core/identity/device_identifier.h"

namespace quillmote {

namespace {

// The broadcast rate counts arrivals over this window…
constexpr double rateWindow = 10.0;
// …and the list is pruned back to the window once its oldest entry is this old.
constexpr double arrivalsPruneAfter = 20.0;

// The fields a beacon's device key is made of.
bool sameBeaconKey(const RangedBeacon& a, const RangedBeacon& b) {
    return a.uuid == b.uuid && a.major == b.major && a.minor == b.minor;
}

template <typename T>
void takePresent(std::optional<T>& mine, const std::optional<T>& heard) {
    if (heard) mine = heard;
}

}  // namespace

DeviceRecord::DeviceRecord(const Sighting& first, bool appleDataHidden)
    : id(first.deviceKey),
      source(first.source),
      firstSeen(first.time),
      lastSeen(first.time),
      appleDataHidden(appleDataHidden) {
    absorb(first);
}

void DeviceRecord::absorb(const Sighting& sighting) {
    // Present values only ever replace, so a change is a present value that differs.
    const bool nameChanged = sighting.cachedName && sighting.cachedName != cachedName;
    const bool classChanged = sighting.classOfDevice && sighting.classOfDevice != classOfDevice;
    const bool beaconChanged = sighting.rangedBeacon && (!rangedBeacon || !sameBeaconKey(*rangedBeacon, *sighting.rangedBeacon));

    lastSeen = std::max(lastSeen, sighting.time);
    ++packetCount;
    const bool advertisementChanged = advertisement.merge(sighting.advertisement);
    takePresent(cachedName, sighting.cachedName);
    takePresent(classOfDevice, sighting.classOfDevice);
    takePresent(isConnected, sighting.isConnected);
    takePresent(batteryPercent, sighting.batteryPercent);
    takePresent(rangedBeacon, sighting.rangedBeacon);

    if (sighting.source == SightingSource::lowEnergy) {
        recentArrivals.push_back(sighting.time);
        if (secondsBetween(recentArrivals.front(), sighting.time) > arrivalsPruneAfter)
            std::erase_if(recentArrivals,
                          [&](Instant t) { return secondsBetween(t, sighting.time) > rateWindow; });
    }

    if (sighting.rssi) {
        lastRawRSSI = sighting.rssi;
        smoother.add(*sighting.rssi, sighting.time);
        if (smoother.value) {
            proximityTracker.update(*smoother.value);
            history.record(*smoother.value, sighting.time);
        }
    }

    static const DeviceIdentity unidentified = DeviceIdentity::unknown();
    const bool factsChanged = advertisementChanged || nameChanged || classChanged || beaconChanged;
    if (factsChanged || identity == unidentified) identity = DeviceIdentifier::identify(facts());
}

void DeviceRecord::adoptNewIdentity(std::span<const Sighting> sightings) {
    ++identityChanges;
    for (const auto& sighting : sightings) {
        Sighting rekeyed = sighting;
        rekeyed.deviceKey = id;
        absorb(rekeyed);
    }
}

void DeviceRecord::shiftTimes(Instant::duration by) {
    firstSeen += by;
    lastSeen += by;
    for (auto& arrival : recentArrivals) arrival += by;
    smoother.shiftTimes(by);
    history.shiftTimes(by);
}

DeviceFacts DeviceRecord::facts() const {
    return {advertisement, cachedName, classOfDevice, appleDataHidden, rangedBeacon};
}

std::optional<Proximity> DeviceRecord::proximity() const {
    if (!rssi()) return std::nullopt;
    return proximityTracker.current;
}

std::optional<DistanceEstimate::Estimate> DeviceRecord::distance() const {
    // A ranged beacon's distance is the ranging result or nothing; no signal fallback.
    if (rangedBeacon) return DistanceEstimate::estimate(*rangedBeacon);
    return DistanceEstimate::estimate(rssi(), advertisement);
}

std::optional<double> DeviceRecord::packetsPerSecond(Instant now) const {
    if (source == SightingSource::paired || rangedBeacon) return std::nullopt;
    auto count = std::count_if(recentArrivals.begin(), recentArrivals.end(),
                               [&](Instant t) { return secondsBetween(t, now) <= rateWindow; });
    double span = std::clamp(secondsBetween(firstSeen, now), 1.0, rateWindow);
    return static_cast<double>(count) / span;
}

std::string DeviceRecord::displayName() const {
    if (advertisement.localName) return *advertisement.localName;
    if (cachedName) return *cachedName;
    return identity.label;
}

Freshness::Value Freshness::of(const DeviceRecord& record, Instant now) {
    if (record.source == SightingSource::paired) return record.isConnected == true ? live : silent;
    return secondsBetween(record.lastSeen, now) > lowEnergySilentAfter ? silent : live;
}

Recency::Value Recency::of(const DeviceRecord& record, Instant now) {
    if (record.source == SightingSource::paired) return record.isConnected == true ? live : gone;
    double silentFor = secondsBetween(record.lastSeen, now);
    if (silentFor <= fadingAfter) return live;
    return silentFor <= Freshness::lowEnergySilentAfter ? fading : gone;
}

}  // namespace quillmote
