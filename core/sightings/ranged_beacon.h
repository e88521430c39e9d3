#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/sightings/uuid.h"

namespace quillmote {

// A beacon reading with its range, as a location-ranging source delivers it.
// It only ever arrives through capture files.
struct RangedBeacon {
    Uuid uuid;
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::optional<double> metres;

    // Keeps `metres` only when it is a positive distance. Stored files bypass
    // this rule and keep what they hold.
    static RangedBeacon make(Uuid uuid, std::uint16_t major, std::uint16_t minor,
                             std::optional<double> metres);

    // "iBeacon-<UUID>-<major>-<minor>": the same beacon always lands on one row.
    std::string deviceKey() const;
    // "iBeacon <UUID> · major <major> · minor <minor>"
    std::string detail() const;

    friend bool operator==(const RangedBeacon&, const RangedBeacon&) = default;
};

}  // namespace quillmote
