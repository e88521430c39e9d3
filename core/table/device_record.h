#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/identity/device_identity.h"
#include "core/signal/distance_estimate.h"
#include "core/signal/proximity.h"
#include "core/signal/signal_history.h"
#include "core/signal/signal_smoother.h"
#include "core/sightings/sighting.h"

namespace quillmote {

// One row of the device table: everything gathered about one device, built up
// sighting by sighting.
struct DeviceRecord {
    std::string id;  // the key of the first sighting
    SightingSource source = SightingSource::lowEnergy;
    Instant firstSeen;
    Instant lastSeen;  // never moves backwards
    std::int64_t packetCount = 0;
    Advertisement advertisement;  // everything heard so far, merged
    std::optional<std::string> cachedName;
    std::optional<std::uint32_t> classOfDevice;
    std::optional<bool> isConnected;
    std::optional<int> batteryPercent;
    std::optional<RangedBeacon> rangedBeacon;
    std::optional<int> lastRawRSSI;
    DeviceIdentity identity;
    SignalHistory history;
    int identityChanges = 0;  // rotations folded onto this row
    SignalSmoother smoother;
    ProximityTracker proximityTracker;
    std::vector<Instant> recentArrivals;  // low-energy sightings, for the broadcast rate
    bool appleDataHidden = false;

    DeviceRecord() = default;
    // A record from its first sighting, identified at once.
    DeviceRecord(const Sighting& first, bool appleDataHidden);

    // Folds one sighting of this device in; identifies again only when the facts
    // identification looks at have changed (or nothing identified it yet).
    void absorb(const Sighting& sighting);

    // Takes in the sightings of the same device heard under another key.
    void adoptNewIdentity(std::span<const Sighting> sightings);

    // Moves every stored instant, so that durations survive the wall clock being set.
    void shiftTimes(Instant::duration by);

    std::optional<double> rssi() const { return smoother.value; }
    std::optional<Proximity> proximity() const;
    std::optional<DistanceEstimate::Estimate> distance() const;
    // Broadcasts per second over the last 10 seconds; absent for paired rows and
    // ranged beacons.
    std::optional<double> packetsPerSecond(Instant now) const;
    std::string displayName() const;
    bool hasOwnName() const { return advertisement.localName || cachedName; }

    DeviceFacts facts() const;
};

// Whether a row is still being heard: a low-energy row goes silent after 30 s, a
// paired row is live exactly while connected.
struct Freshness {
    enum Value { live, silent };
    static constexpr double lowEnergySilentAfter = 30.0;  // seconds
    static Value of(const DeviceRecord& record, Instant now);
};

// How a row is drawn: fading after 10 s, gone after 30 s (paired rows are live
// while connected, otherwise gone).
struct Recency {
    enum Value { live, fading, gone };
    static constexpr double fadingAfter = 10.0;  // seconds
    static Value of(const DeviceRecord& record, Instant now);
};

}  // namespace quillmote
