#include <iostream>

#include "cli/commands.h"
#include "core/sightings/fixture.h"

namespace quillmote::cli {

int runFixture(const Command& command, std::span<const std::string_view> args) {
    ParsedArgs parsed;
    int status = 0;
    if (!parseArgs(command, args, {}, parsed, status)) return status;
    if (parsed.positional.size() != 1) return usageError(command, "fixture needs exactly one FILE");

    std::vector<Sighting> sightings;
    if (!readCapture(parsed.positional.front(), sightings)) return exitFailure;
    std::cout << Fixture::encode(sightings) << std::flush;
    return std::cout ? 0 : exitFailure;
}

}  // namespace quillmote::cli
