// Any bytes as a capture file: decoding either fails with FixtureError or gives
// sightings whose encoding is a fixed point (encode, decode, encode is the same text).
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/sightings/fixture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillmote;
    std::vector<Sighting> sightings;
    try {
        sightings = Fixture::decode(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const FixtureError&) {
        return 0;
    }
    std::string once = Fixture::encode(sightings);
    std::vector<Sighting> again = Fixture::decode(once);
    std::string twice = Fixture::encode(again);
    if (once != twice) std::abort();
    return 0;
}
