#pragma once

#include <mutex>
#include <vector>

#include "core/sightings/sighting.h"

namespace quillmote {

// The hand-over from the radio's thread to the store. The lock is held for one
// list operation only, so the radio is never held up by the store's work.
class SightingBuffer {
public:
    void append(Sighting sighting);

    // Swaps the pending list into `into` (cleared first): everything pending, in
    // arrival order, leaves in one operation, and `into`'s old storage becomes the
    // storage for the appends that follow. A caller that keeps one vector across
    // drains never allocates in steady state.
    void drain(std::vector<Sighting>& into);

    std::vector<Sighting> drain();

private:
    std::mutex lock_;
    std::vector<Sighting> pending_;
};

}  // namespace quillmote
