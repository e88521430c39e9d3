#include <charconv>
#include <cmath>

#include "cli/simulated_replay.h"
#include "core/engine/store_engine.h"

namespace quillmote::cli {

std::optional<double> parseSeconds(std::string_view text) {
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

Instant replaySimulated(const CaptureReplay& replay, double seconds, SightingBuffer& buffer,
                        const std::function<void(std::uint64_t, Instant)>& tick) {
    // The first loop keeps the file's own times.
    const Instant start = replay.sightings().empty() ? Instant{} : replay.sightings().front().time;
    std::vector<Sighting> due;
    double previous = -1.0;
    Instant now = start;
    for (std::uint64_t k = 0; static_cast<double>(k) * StoreEngine::tickSeconds <= seconds; ++k) {
        const double elapsed = static_cast<double>(k) * StoreEngine::tickSeconds;
        now = addingSeconds(start, elapsed);
        due.clear();
        replay.appendSightings(previous, elapsed, start, due);
        for (auto& sighting : due) buffer.append(std::move(sighting));
        previous = elapsed;
        tick(k, now);
    }
    return now;
}

}  // namespace quillmote::cli
