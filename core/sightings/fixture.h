#pragma once

#include <filesystem>
#include <istream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/sightings/sighting.h"

namespace quillmote {

// Why a capture could not be read: the reason alone, without the file's name. The
// reason quotes the file, so it is kept to one printable line.
class FixtureError : public std::runtime_error {
public:
    explicit FixtureError(std::string_view reason);
};

// The capture and fixture file format: a JSON array of sightings, keys sorted at
// every depth, pretty-printed, instants as ISO 8601 UTC with milliseconds, bytes
// as upper-case hex pairs. Encoding a decoded file gives the same bytes again.
namespace Fixture {

std::string encode(std::span<const Sighting> sightings);

// What a capture may hold, so that reading one stops with a reason (FixtureError)
// before it can run a small machine out of memory. Half a million sightings take about
// 350 MB once read, and are over an hour of a busy office; a sighting is three levels
// deep.
inline constexpr std::size_t maxSightings = 500'000;
inline constexpr std::size_t maxBytes = std::size_t(512) << 20;
inline constexpr std::size_t maxDepth = 16;

// Sightings are built one by one while the text streams in, so a capture of any
// size is never held as a whole document. Throws FixtureError.
std::vector<Sighting> decode(std::string_view text);
std::vector<Sighting> decode(std::istream& in);
std::vector<Sighting> decodeFile(const std::filesystem::path& path);

}  // namespace Fixture

}  // namespace quillmote
