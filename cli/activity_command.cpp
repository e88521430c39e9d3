#include <iostream>

#include "cli/commands.h"
#include "cli/simulated_replay.h"
#include "core/activity/activity_recorder.h"
#include "core/activity/history_files.h"
#include "core/engine/store_engine.h"

namespace quillmote::cli {

int runActivity(const Command& command, std::span<const std::string_view> args) {
    ParsedArgs parsed;
    int status = 0;
    const std::string_view valueOptions[] = {"--minutes"};
    if (!parseArgs(command, args, valueOptions, parsed, status)) return status;
    if (parsed.positional.size() != 1) return usageError(command, "activity needs exactly one FILE");
    std::optional<double> minutes;
    for (const auto& [name, value] : parsed.options) {
        minutes = parseSeconds(value);
        if (!minutes) return usageError(command, "--minutes needs a number of minutes, 0 or more, not '" +
                                                     std::string(value) + "'");
    }
    if (!minutes) return usageError(command, "activity needs --minutes M");

    std::vector<Sighting> sightings;
    if (!readCapture(parsed.positional.front(), sightings)) return exitFailure;

    const CaptureReplay replay(std::move(sightings));
    SightingBuffer buffer;
    ActivityRecorder recorder;
    std::string out(HistoryFiles::header);
    out += '\n';
    StoreEngine::Hooks hooks;
    hooks.activity = [&](std::span<const DeviceRecord> records, Instant now) {
        if (auto closed = recorder.sample(records, now)) out += HistoryFiles::line(*closed) + '\n';
    };
    StoreEngine engine(buffer, std::move(hooks));
    replaySimulated(replay, *minutes * 60.0, buffer, [&engine](std::uint64_t n, Instant now) { engine.tick(n, now); });

    std::cout << out << std::flush;
    return std::cout ? 0 : exitFailure;
}

}  // namespace quillmote::cli
