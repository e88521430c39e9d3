#include "core/activity/activity_recorder.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace quillmote {

namespace {

constexpr double restartGap = 5.0;  // seconds between samples before listening restarts
constexpr double warmUp = 60.0;  // seconds of each listening period that never count
constexpr double heardWindow = 30.0;  // a device heard this recently is around
constexpr double confirmSpan = 60.0;  // heard over this span: a stayer, not a passer-by
constexpr double passedAfter = 30.0;  // silence that ends an unconfirmed visit
constexpr double leftAfter = 180.0;  // silence after which a stayer has left
constexpr double rememberFor = 300.0;  // older sightings start no entry; settled entries go

Instant minuteContaining(Instant t) { return std::chrono::floor<std::chrono::minutes>(t); }

}  // namespace

std::optional<MinuteRecord> ActivityRecorder::sample(std::span<const DeviceRecord> records, Instant now) {
    if (lastSample_ && secondsBetween(*lastSample_, now) > restartGap) listeningSince_ = now;
    const Instant since = listeningSince_.value_or(now);
    listeningSince_ = since;
    lastSample_ = now;

    std::vector<const DeviceRecord*> live;
    live.reserve(records.size());
    for (const auto& record : records)
        if (record.source == SightingSource::lowEnergy) live.push_back(&record);

    const double listened = secondsBetween(since, now);
    const Instant minute = minuteContaining(now);

    std::optional<MinuteRecord> finished;
    if (current_ && current_->minute != minute) {
        finished = close(*current_, live);
        current_.reset();
    }
    if (!current_) {
        current_ = Accumulator{.minute = minute};
    }

    remember(live, since, now);
    // The lifecycle advances on every sample, even while its events do not count yet.
    const Events events = lifecycleEvents(now);

    if (listened >= warmUp) {
        current_->samples += 1;
        current_->liveTotal += std::count_if(live.begin(), live.end(), [&](const DeviceRecord* record) {
            return secondsBetween(record->lastSeen, now) <= heardWindow;
        });
        current_->passing += events.passing;
        current_->arrived += events.arrived;
        current_->left += events.left;
    }

    forgetOld(now);
    return finished;
}

void ActivityRecorder::shiftTimes(Instant::duration by) {
    for (auto& [key, entry] : tracked_) {
        entry.firstSeen += by;
        entry.lastSeen += by;
    }
    if (listeningSince_) *listeningSince_ += by;
    if (lastSample_) *lastSample_ += by;
}

std::optional<MinuteRecord> ActivityRecorder::closeOpenMinute(std::span<const DeviceRecord> records) {
    if (!current_) return std::nullopt;
    std::vector<const DeviceRecord*> live;
    for (const auto& record : records)
        if (record.source == SightingSource::lowEnergy) live.push_back(&record);
    const MinuteRecord record = close(*current_, live);
    current_.reset();
    return record;
}

MinuteRecord ActivityRecorder::close(const Accumulator& accumulator, std::span<const DeviceRecord* const> live) {
    std::int64_t moves = 0;
    for (const DeviceRecord* record : live) {
        const auto proximity = record->proximity();
        if (!proximity) continue;
        auto entry = tracked_.find(record->id);
        if (entry == tracked_.end()) continue;
        // A device's first noted class is never a move.
        if (entry->second.bucket && *entry->second.bucket != *proximity) ++moves;
        entry->second.bucket = proximity;
    }
    const double around = accumulator.samples < 1 ? 0.0
                                                  : static_cast<double>(accumulator.liveTotal) /
                                                        static_cast<double>(accumulator.samples);
    return MinuteRecord{accumulator.minute,  accumulator.samples, around, accumulator.passing,
                        accumulator.arrived, accumulator.left,    moves};
}

void ActivityRecorder::remember(std::span<const DeviceRecord* const> live, Instant since, Instant now) {
    for (const DeviceRecord* record : live) {
        if (secondsBetween(record->lastSeen, now) > rememberFor) continue;
        if (auto known = tracked_.find(record->id); known != tracked_.end()) {
            known->second.lastSeen = std::max(known->second.lastSeen, record->lastSeen);
            continue;
        }
        Tracked entry;
        entry.firstSeen = record->firstSeen;
        entry.lastSeen = record->lastSeen;
        entry.presentAtStart = record->firstSeen < addingSeconds(since, warmUp);
        tracked_.emplace(record->id, entry);
    }
}

ActivityRecorder::Events ActivityRecorder::lifecycleEvents(Instant now) {
    Events events;
    for (auto& [key, entry] : tracked_) {
        if (entry.settled) continue;
        const double span = secondsBetween(entry.firstSeen, entry.lastSeen);
        const double silence = secondsBetween(entry.lastSeen, now);
        if (!entry.confirmed) {
            if (span >= confirmSpan) {
                entry.confirmed = true;
                if (!entry.presentAtStart) ++events.arrived;
            } else if (silence > passedAfter) {
                ++events.passing;
                entry.settled = true;
                continue;
            } else {
                continue;
            }
        }
        if (silence >= leftAfter) {
            ++events.left;
            entry.settled = true;
        }
    }
    return events;
}

void ActivityRecorder::forgetOld(Instant now) {
    // Settled entries stay while their device is still heard, so a quick return
    // tells no new story; unsettled ones stay until their story ends.
    std::erase_if(tracked_, [&](const auto& item) {
        return item.second.settled && secondsBetween(item.second.lastSeen, now) > rememberFor;
    });
}

}  // namespace quillmote
