#include "core/sightings/ranged_beacon.h"

namespace quillmote {

RangedBeacon RangedBeacon::make(Uuid uuid, std::uint16_t major, std::uint16_t minor,
                                std::optional<double> metres) {
    if (metres && !(*metres > 0)) metres.reset();
    return {uuid, major, minor, metres};
}

std::string RangedBeacon::deviceKey() const {
    return "iBeacon-" + uuid.text() + "-" + std::to_string(major) + "-" + std::to_string(minor);
}

std::string RangedBeacon::detail() const {
    return "iBeacon " + uuid.text() + " \u00B7 major " + std::to_string(major) + " \u00B7 minor " +
           std::to_string(minor);
}

}  // namespace quillmote
