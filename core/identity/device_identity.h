#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/identity/device_kind.h"
#include "core/sightings/advertisement.h"
#include "core/sightings/ranged_beacon.h"

namespace quillmote {

enum class Certainty { guess = 1, likely = 2, sure = 3 };

// "guess", "likely", "sure"
std::string_view label(Certainty certainty);
std::optional<Certainty> certaintyFromRaw(int raw);

// What a device is, how sure that is, and why.
struct DeviceIdentity {
    std::optional<std::string> maker;
    DeviceKind kind = DeviceKind::unknown;
    std::string label = "Unknown device";
    Certainty certainty = Certainty::guess;
    std::vector<std::string> evidence;  // one line per clue, "Why we think this"
    std::vector<std::string> details;   // battery levels, beacon identifiers

    // The identity of a record before anything identified it.
    static DeviceIdentity unknown() { return {}; }

    bool isIdentified() const { return kind != DeviceKind::unknown || maker.has_value(); }

    friend bool operator==(const DeviceIdentity&, const DeviceIdentity&) = default;
};

// Everything identification looks at; nothing else of a record reaches it.
struct DeviceFacts {
    Advertisement advertisement;
    std::optional<std::string> cachedName;
    std::optional<std::uint32_t> classOfDevice;
    // For platforms that strip Apple's manufacturer data; off on this one.
    bool appleDataHidden = false;
    std::optional<RangedBeacon> rangedBeacon;
};

}  // namespace quillmote
