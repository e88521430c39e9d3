#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "core/sightings/capture_replay.h"
#include "core/sightings/sighting_buffer.h"

namespace quillmote::cli {

// A number of seconds, 0 or more, as given on the command line.
std::optional<double> parseSeconds(std::string_view text);

// Replays the capture in simulated time: ticks at start + k × 0.125 s while
// k × 0.125 ≤ seconds, where start is the first sighting's time. Before each tick
// the replay window (previous, elapsed] goes into the buffer. Returns the last
// tick's instant.
Instant replaySimulated(const CaptureReplay& replay, double seconds, SightingBuffer& buffer,
                        const std::function<void(std::uint64_t n, Instant now)>& tick);

}  // namespace quillmote::cli
