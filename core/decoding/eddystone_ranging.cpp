#include "core/decoding/beacons.h"

#include <cstdint>

namespace quillmote {

// Only UID (0x00) and URL (0x10) frames carry the ranging byte; masking bit 4
// accepts exactly those two.
std::optional<int> Eddystone::transmitPowerAtAntenna(ByteView frame) {
    if (frame.size() < 2 || (frame[0] & 0xEF) != 0) return std::nullopt;
    return static_cast<std::int8_t>(frame[1]);
}

}  // namespace quillmote
