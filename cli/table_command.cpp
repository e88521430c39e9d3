#include <iostream>

#include "cli/commands.h"
#include "cli/record_json.h"
#include "cli/simulated_replay.h"
#include "core/engine/store_engine.h"
#include "core/sightings/capture_replay.h"

namespace quillmote::cli {

int runTable(const Command& command, std::span<const std::string_view> args) {
    ParsedArgs parsed;
    int status = 0;
    const std::string_view valueOptions[] = {"--seconds"};
    if (!parseArgs(command, args, valueOptions, parsed, status)) return status;
    if (parsed.positional.size() != 1) return usageError(command, "table needs exactly one FILE");
    std::optional<double> seconds;
    for (const auto& [name, value] : parsed.options) {
        seconds = parseSeconds(value);
        if (!seconds) return usageError(command, "--seconds needs a number of seconds, 0 or more, not '" +
                                                     std::string(value) + "'");
    }

    std::vector<Sighting> sightings;
    if (!readCapture(parsed.positional.front(), sightings)) return exitFailure;

    const CaptureReplay replay(std::move(sightings));
    SightingBuffer buffer;
    StoreEngine engine(buffer);
    const Instant endedAt = replaySimulated(replay, seconds.value_or(replay.loopLength()), buffer,
                                            [&engine](std::uint64_t n, Instant now) { engine.tick(n, now); });

    const DeviceTable& table = engine.table();
    nlohmann::json aliases = nlohmann::json::object();
    for (const auto& [old, rowKey] : table.aliases()) aliases[old] = rowKey;
    nlohmann::json rows = nlohmann::json::array();
    for (const auto& key : table.order())
        if (const auto* record = table.record(key)) rows.push_back(rowJson(*record, table.packetLog().count(key), endedAt));

    nlohmann::json out = {{"endedAt", formatISO8601(endedAt)},
                          {"packetLogTotal", table.packetLog().total()},
                          {"aliases", aliases},
                          {"rows", rows}};
    std::cout << dump(out) << std::flush;
    return std::cout ? 0 : exitFailure;
}

}  // namespace quillmote::cli
