#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "app/bluetooth_status.h"
#include "core/sightings/sighting_buffer.h"

namespace quillmote {

// What the store needs of a radio: something that, once started, appends every
// advertisement heard to the buffer and reports the radio's state. The store cannot
// tell a radio from a replay; the BlueZ scanner implements this.
class Scanner {
public:
    virtual ~Scanner() = default;
    // Status reports may come from any thread; the store hops them to its own.
    virtual void start(SightingBuffer& buffer, std::function<void(BluetoothStatus)> statusChanged) = 0;
    // The paired devices as sightings, or nothing when they cannot be read now.
    virtual std::optional<std::vector<Sighting>> pairedDevices() { return std::nullopt; }
};

}  // namespace quillmote
