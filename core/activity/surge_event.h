#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/sightings/uuid.h"
#include "core/time/instant.h"

namespace quillmote {

// One unusual crowd, from the minute it started to the minute it ended.
struct SurgeEvent {
    Uuid id;
    Instant started;
    std::optional<Instant> ended;  // absent while open
    double usualAround = 0;
    double aroundAtStart = 0;
    double peakAround = 0;
    std::vector<std::string> namedDevices;  // named devices present at the start

    friend bool operator==(const SurgeEvent&, const SurgeEvent&) = default;
};

// A fresh random (version 4) UUID.
Uuid randomUuid();

}  // namespace quillmote
