#pragma once

#include <functional>
#include <memory>
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
    // Reports may come from any thread; the store hops them to its own. The problem is
    // `none` unless the status has stayed `starting` for a reason worth telling.
    using StateChanged = std::function<void(BluetoothStatus, BluetoothProblem)>;

    virtual ~Scanner() = default;
    // The scanner shares the buffer, so it stays valid for as long as the scanner may
    // append to it. Without a buffer the scanner only looks: it reads the state and
    // the paired devices, and starts no discovery.
    virtual void start(std::shared_ptr<SightingBuffer> buffer, StateChanged stateChanged) = 0;
    // The paired devices as sightings, or nothing when they cannot be read now.
    virtual std::optional<std::vector<Sighting>> pairedDevices() { return std::nullopt; }
};

}  // namespace quillmote
