#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "core/find/find_session.h"
#include "core/sightings/sighting_buffer.h"
#include "core/table/device_table.h"

namespace quillmote {

// The device store's tick, free of any platform: the application drives it from a
// timer, the command line from a simulated clock, so both run the same steps.
class StoreEngine {
public:
    static constexpr double tickSeconds = 0.125;
    // Paired devices are read and the rows published every eighth tick, the first included.
    static constexpr std::uint64_t ticksPerRefresh = 8;
    // Rows silent for five minutes are tidied away every ten minutes of ticks.
    static constexpr std::uint64_t ticksPerTidy = 4800;
    static constexpr double tidySilentFor = 300.0;

    // What the platform side adds to a tick. Every hook may be left empty.
    struct Hooks {
        // Sees each tick's drained sightings before the table takes them (capture recording).
        std::function<void(std::span<const Sighting>)> drained;
        // Once a second: the paired devices as sightings, or nothing when they cannot be read now.
        std::function<std::optional<std::vector<Sighting>>()> pairedDevices;
        // Once a second after the paired refresh, and after each tidy.
        std::function<void()> publish;
        // Every tick while a find session runs, with the session's click rate.
        std::function<void(double clicksPerSecond)> clickRate;
        // Once a second after publishing: the table's records in the table's order.
        std::function<void(std::span<const DeviceRecord> records, Instant now)> activity;
    };

    explicit StoreEngine(SightingBuffer& buffer, Hooks hooks = {}, bool appleDataHidden = false);

    // One tick with counter `n` at `now`.
    void tick(std::uint64_t n, Instant now);

    // The wall clock was set back by `by` (a negative duration) just before the tick
    // at `now`. The live state moves with it, so ages, rates, smoothing and the find
    // session go on as if nothing happened; sightings stamped before the step and
    // still waiting in the buffer are moved when drained. (A step forward needs no
    // call: it reads as time passed, as after the machine slept.)
    void wallClockSetBack(Instant::duration by, Instant now);

    DeviceTable& table() { return table_; }
    const DeviceTable& table() const { return table_; }

    // Starts following the row `key`; nothing happens when the table has no such row.
    void startFinding(const std::string& key);
    // The user picked a row for the running session to follow.
    void chooseFindCandidate(const std::string& key);
    void endFinding() { findSession_.reset(); }
    const std::optional<FindSession>& findSession() const { return findSession_; }

private:
    SightingBuffer& buffer_;
    Hooks hooks_;
    DeviceTable table_;
    std::vector<Sighting> drained_;  // kept across ticks so draining reuses storage
    std::optional<FindSession> findSession_;
    // A step back not yet applied to the buffer's sightings: those later than `after`.
    struct PendingStep {
        Instant::duration by;
        Instant after;
    };
    std::optional<PendingStep> pendingStep_;
    std::set<std::string> listedPaired_;  // the keys the last paired read listed

    void refreshPaired();
};

}  // namespace quillmote
