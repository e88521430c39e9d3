#include "core/engine/store_engine.h"

#include <set>

#include "core/time/clock_step.h"

namespace quillmote {

StoreEngine::StoreEngine(SightingBuffer& buffer, Hooks hooks, bool appleDataHidden)
    : buffer_(buffer), hooks_(std::move(hooks)), table_(appleDataHidden) {}

void StoreEngine::tick(std::uint64_t n, Instant now) {
    buffer_.drain(drained_);
    if (hooks_.drained) hooks_.drained(drained_);
    if (pendingStep_) {
        for (auto& sighting : drained_)
            if (sighting.time > pendingStep_->after) sighting.time += pendingStep_->by;
        pendingStep_.reset();
    }
    table_.absorb(std::move(drained_), now);
    drained_.clear();  // moved-from: reset to a known empty state, storage kept

    if (findSession_) {
        findSession_->update(table_, now);
        if (hooks_.clickRate) hooks_.clickRate(findSession_->clicksPerSecond());
    }

    if (n % ticksPerRefresh == 0) {
        refreshPaired();
        if (hooks_.publish) hooks_.publish();
        if (hooks_.activity) hooks_.activity(table_.orderedRecords(), now);
    }
    if (n >= 1 && n % ticksPerTidy == 0) {
        table_.removeSilent(now, tidySilentFor);
        if (hooks_.publish) hooks_.publish();
    }
}

void StoreEngine::wallClockSetBack(Instant::duration by, Instant now) {
    table_.shiftTimes(by);
    if (findSession_) findSession_->shiftTimes(by);
    // Sightings stamped on the old clock lie after the new one's now; a small margin
    // keeps those stamped just after `now` was read out of it.
    pendingStep_ = PendingStep{by, addingSeconds(now, ClockStep::tolerance)};
}

void StoreEngine::startFinding(const std::string& key) {
    // An address folded onto an older row is found on that row.
    if (const DeviceRecord* record = table_.record(table_.rowKey(key))) findSession_.emplace(*record);
}

void StoreEngine::chooseFindCandidate(const std::string& key) {
    const DeviceRecord* record = table_.record(key);
    if (record && findSession_) findSession_->choose(*record);
}

void StoreEngine::refreshPaired() {
    if (!hooks_.pairedDevices) return;
    auto paired = hooks_.pairedDevices();
    if (!paired) return;
    std::set<std::string> present;
    for (const auto& sighting : *paired) present.insert(sighting.deviceKey);
    table_.absorb(std::move(*paired));
    // Only rows the reader listed before can have been unpaired: paired rows replayed
    // from a capture are the capture's.
    std::set<std::string> keep = present;
    for (const auto& [key, row] : table_.records())
        if (row.source == SightingSource::paired && !listedPaired_.contains(key)) keep.insert(key);
    table_.keepPaired(keep);
    listedPaired_ = std::move(present);
}

}  // namespace quillmote
