#include <iostream>
#include <unordered_map>

#include "cli/commands.h"
#include "cli/record_json.h"

namespace quillmote::cli {

int runIdentify(const Command& command, std::span<const std::string_view> args) {
    ParsedArgs parsed;
    int status = 0;
    if (!parseArgs(command, args, {}, parsed, status)) return status;
    if (parsed.positional.size() != 1) return usageError(command, "identify needs exactly one FILE");

    std::vector<Sighting> sightings;
    if (!readCapture(parsed.positional.front(), sightings)) return exitFailure;

    // One record per key, in order of first appearance, fed in file order.
    std::vector<DeviceRecord> records;
    std::unordered_map<std::string, std::size_t> index;
    for (const auto& sighting : sightings) {
        auto [slot, isNew] = index.try_emplace(sighting.deviceKey, records.size());
        if (isNew) records.emplace_back(sighting, false);
        else records[slot->second].absorb(sighting);
    }
    nlohmann::json out = nlohmann::json::array();
    for (const auto& record : records) out.push_back(identityJson(record));
    std::cout << dump(out) << std::flush;
    return std::cout ? 0 : exitFailure;
}

}  // namespace quillmote::cli
