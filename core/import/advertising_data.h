#pragma once

#include "core/sightings/advertisement.h"
#include "core/sightings/hex.h"

namespace quillmote {

// Advertising data as it travels on the air (length, type, data structures) in the
// form the BlueZ path gives the same packet, so that a log and a live scan agree.
// `isConnectable` stays absent: it comes with the packet's type, not its data. A zero
// length ends the data; a structure running past the end is dropped, as BlueZ drops
// it, and `cutShort` (when given) is set.
Advertisement advertisementFromData(ByteView data, bool* cutShort = nullptr);

}  // namespace quillmote
