#include <iostream>

#include "cli/commands.h"
#include "cli/record_json.h"
#include "cli/simulated_replay.h"
#include "core/engine/store_engine.h"
#include "core/sightings/printable_text.h"

namespace quillmote::cli {

namespace {

nlohmann::json findLine(const FindSession& session, std::uint64_t tick) {
    nlohmann::json line = {
        {"t", tick / StoreEngine::ticksPerRefresh},
        {"targetKey", session.targetKey()},
        {"status", name(session.status().kind)},
        {"trend", rawValue(session.trend())},
        {"clicksPerSecond", session.clicksPerSecond()},
    };
    if (session.status().kind == FindSession::Status::Kind::reacquired)
        line["previousKey"] = session.status().previousKey;
    if (session.status().kind == FindSession::Status::Kind::ambiguous)
        line["candidates"] = session.status().candidates;
    if (auto rssi = session.rssi()) line["rssi"] = *rssi;
    return line;
}

}  // namespace

int runFind(const Command& command, std::span<const std::string_view> args) {
    ParsedArgs parsed;
    int status = 0;
    const std::string_view valueOptions[] = {"--key", "--seconds"};
    if (!parseArgs(command, args, valueOptions, parsed, status)) return status;
    if (parsed.positional.size() != 1) return usageError(command, "find needs exactly one FILE");
    std::optional<std::string> key;
    std::optional<double> seconds;
    for (const auto& [name, value] : parsed.options) {
        if (name == "--key") {
            key = std::string(value);
        } else if (!(seconds = parseSeconds(value))) {
            return usageError(command, "--seconds needs a number of seconds, 0 or more, not '" +
                                           std::string(value) + "'");
        }
    }
    if (!key) return usageError(command, "find needs --key KEY");

    std::vector<Sighting> sightings;
    if (!readCapture(parsed.positional.front(), sightings)) return exitFailure;

    const CaptureReplay replay(std::move(sightings));
    SightingBuffer buffer;
    StoreEngine engine(buffer);
    std::string out;
    replaySimulated(replay, seconds.value_or(replay.loopLength()), buffer, [&](std::uint64_t n, Instant now) {
        engine.tick(n, now);
        // The session starts at the first tick that has the row; its first update is the next tick's.
        if (!engine.findSession()) engine.startFinding(*key);
        if (engine.findSession() && n % StoreEngine::ticksPerRefresh == 0)
            out += findLine(*engine.findSession(), n).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
    });
    if (!engine.findSession()) {
        std::cerr << "quillmote-cli: " << printableText(parsed.positional.front()) << ": no device with the key "
                  << printableText(*key) << " was heard\n";
        return exitFailure;
    }
    std::cout << out << std::flush;
    return std::cout ? 0 : exitFailure;
}

}  // namespace quillmote::cli
