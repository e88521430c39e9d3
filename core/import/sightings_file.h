#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <optional>
#include <vector>

#include "core/import/import_counts.h"
#include "core/sightings/sighting.h"

namespace quillmote {

// What a file of sightings gave: a capture's sightings, or those read from a log
// another tool wrote, with what reading it counted and skipped.
struct SightingsFile {
    std::vector<Sighting> sightings;
    std::optional<ImportCounts> counts;  // logs only
};

// Told the bytes read so far, about every MiB.
using ReadProgress = std::function<void(std::uint64_t)>;

// Reads a capture, or a btsnoop, pcap or pcapng log, told apart by their first bytes.
// Throws FixtureError with the reason: unreadable, too large, not any of these, or
// broken beyond use.
SightingsFile readSightingsFile(const std::filesystem::path& path, const ReadProgress& progress = {});
SightingsFile readSightings(std::istream& in, const ReadProgress& progress = {});

}  // namespace quillmote
