#include "core/activity/surge_detector.h"

#include <algorithm>
#include <cstdint>

namespace quillmote {

SurgeDetector::SurgeDetector(std::optional<SurgeEvent> open, int windowMinutes) : windowMinutes_(windowMinutes) {
    // Only an episode still in progress can be resumed; ending a finished one again
    // would overwrite when it really ended.
    if (open && !open->ended) open_ = std::move(open);
}

std::optional<SurgeDetector::Change> SurgeDetector::evaluate(std::span<const MinuteRecord> minutes,
                                                             const UsualLevel& usual, Instant now,
                                                             const NamedPresent& namedPresent) {
    std::vector<const MinuteRecord*> usable;
    for (const auto& record : minutes) {
        if (record.isUsable()) usable.push_back(&record);
    }
    std::stable_sort(usable.begin(), usable.end(),
                     [](const MinuteRecord* a, const MinuteRecord* b) { return a->minute < b->minute; });

    if (open_) {
        Instant latest = open_->started;
        if (!usable.empty()) latest = std::max(latest, usable.back()->minute);
        // Without fresh evidence the episode ends where the evidence stopped.
        if (secondsBetween(latest, now) > maxGap) return end(latest);
    }

    Instant windowStart = now - std::chrono::minutes(windowMinutes_);
    std::vector<const MinuteRecord*> recent;
    for (const auto* record : usable) {
        if (record->minute >= windowStart) recent.push_back(record);
    }
    std::int64_t needed = std::max<std::int64_t>(1, 2 * static_cast<std::int64_t>(windowMinutes_) / 3);
    if (static_cast<std::int64_t>(recent.size()) < needed) return std::nullopt;

    double aroundTotal = 0;
    double usualTotal = 0;
    for (const auto* record : recent) {
        auto level = usual ? usual(record->minute) : std::nullopt;
        if (!level) return std::nullopt;
        usualTotal += *level;
        aroundTotal += record->around;
    }
    double count = static_cast<double>(recent.size());
    double around = aroundTotal / count;
    double usualAvg = usualTotal / count;

    if (!open_) {
        if (around >= usualAvg * riseFactor && around >= usualAvg + minimumRise) {
            SurgeEvent event;
            event.id = randomUuid();
            event.started = now;
            event.usualAround = usualAvg;
            event.aroundAtStart = around;
            event.peakAround = around;
            if (namedPresent) event.namedDevices = namedPresent();
            open_ = event;
            return Change{Change::Kind::started, std::move(event)};
        }
        return std::nullopt;
    }

    if (around < usualAvg * endFactor) return end(now);
    if (around > open_->peakAround) {
        open_->peakAround = around;
        return Change{Change::Kind::updated, *open_};
    }
    return std::nullopt;
}

std::optional<SurgeDetector::Change> SurgeDetector::end(Instant at) {
    if (!open_) return std::nullopt;
    SurgeEvent finished = std::move(*open_);
    open_.reset();
    finished.ended = at;
    return Change{Change::Kind::ended, std::move(finished)};
}

}  // namespace quillmote
