#pragma once

#include <vector>

#include "core/sightings/sighting.h"
#include "core/time/instant.h"

namespace quillmote {

// A capture as a schedule that loops for ever: each sighting is due at its offset
// from the first sighting, again every `loopLength` seconds.
class CaptureReplay {
public:
    explicit CaptureReplay(std::vector<Sighting> sightings);

    // Sorted by time; equal times keep their file order.
    const std::vector<Sighting>& sightings() const { return sightings_; }
    // Seconds from the first sighting, one per sighting.
    const std::vector<double>& offsets() const { return offsets_; }
    // The last offset plus one second (1.0 for an empty capture).
    double loopLength() const { return loopLength_; }

    // The sightings due in the window (after, upTo] of seconds since `startedAt`,
    // ordered by loop then offset, each re-timed to its moment.
    std::vector<Sighting> sightings(double after, double upTo, Instant startedAt) const;
    void appendSightings(double after, double upTo, Instant startedAt, std::vector<Sighting>& out) const;

private:
    std::vector<Sighting> sightings_;
    std::vector<double> offsets_;
    double loopLength_ = 1.0;
};

}  // namespace quillmote
