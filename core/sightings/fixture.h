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

// Sightings are built one by one while the text streams in, so a capture of any
// size is never held as a whole document. Throws FixtureError.
std::vector<Sighting> decode(std::string_view text);
std::vector<Sighting> decode(std::istream& in);
std::vector<Sighting> decodeFile(const std::filesystem::path& path);

}  // namespace Fixture

}  // namespace quillmote
