#include "core/sightings/sighting_buffer.h"

namespace quillmote {

void SightingBuffer::append(Sighting sighting) {
    std::lock_guard guard(lock_);
    pending_.push_back(std::move(sighting));
}

void SightingBuffer::drain(std::vector<Sighting>& into) {
    into.clear();
    std::lock_guard guard(lock_);
    into.swap(pending_);
}

std::vector<Sighting> SightingBuffer::drain() {
    std::vector<Sighting> out;
    drain(out);
    return out;
}

}  // namespace quillmote
