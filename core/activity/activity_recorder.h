#pragma once

#include <optional>
#include <span>
#include <string>
#include <unordered_map>

#include "core/activity/minute_record.h"
#include "core/signal/proximity.h"
#include "core/table/device_record.h"

namespace quillmote {

// Turns the live device table, sampled about once a second, into one summary per
// clock minute: devices around, and devices passing, arriving, leaving and moving.
// No clock of its own: every time comes from the caller, so it replays exactly.
class ActivityRecorder {
public:
    // Returns the previous minute's record on the first sample of a later minute.
    std::optional<MinuteRecord> sample(std::span<const DeviceRecord> records, Instant now);
    // The minute being filled, closed with the samples it has: for a stop, so that the
    // seconds counted so far are kept. Nothing before the first sample.
    std::optional<MinuteRecord> closeOpenMinute(std::span<const DeviceRecord> records);
    // Moves what it remembers of devices and of listening, after the wall clock was
    // set; the minute being filled keeps its clock time.
    void shiftTimes(Instant::duration by);

private:
    struct Tracked {
        Instant firstSeen;
        Instant lastSeen;
        bool presentAtStart = false;
        bool confirmed = false;
        bool settled = false;
        std::optional<Proximity> bucket;
    };
    struct Accumulator {
        Instant minute;
        std::int64_t samples = 0;
        std::int64_t liveTotal = 0;
        std::int64_t passing = 0;
        std::int64_t arrived = 0;
        std::int64_t left = 0;
    };
    struct Events {
        std::int64_t passing = 0;
        std::int64_t arrived = 0;
        std::int64_t left = 0;
    };

    std::unordered_map<std::string, Tracked> tracked_;
    std::optional<Instant> listeningSince_;
    std::optional<Instant> lastSample_;
    std::optional<Accumulator> current_;

    MinuteRecord close(const Accumulator& accumulator, std::span<const DeviceRecord* const> live);
    void remember(std::span<const DeviceRecord* const> live, Instant since, Instant now);
    Events lifecycleEvents(Instant now);
    void forgetOld(Instant now);
};

}  // namespace quillmote
