#include "core/find/find_session.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quillmote {

namespace {

// A new address may appear shortly before the old one falls silent.
constexpr double rotationOverlap = 2.0;  // seconds

}  // namespace

double ClickRate::perSecond(double rssi) {
    double x = (rssi + 95.0) / 55.0;
    if (!(x > 0.0)) x = 0.0;  // also catches NaN: the slowest rate, never a non-number
    if (x > 1.0) x = 1.0;
    return slowest * std::pow(fastest / slowest, x);
}

FindSession::FindSession(const DeviceRecord& target)
    : targetKey_(target.id),
      fingerprint_(target),
      status_{Status::Kind::tracking, {}, {}},
      rssi_(target.rssi()),
      lastHeard_(target.lastSeen) {}

void FindSession::update(const DeviceTable& table, Instant now) {
    // A target folded onto an older row is the same device: follow it there.
    if (const std::string& row = table.rowKey(targetKey_); row != targetKey_) targetKey_ = row;
    if (const DeviceRecord* row = table.record(targetKey_);
        row && row->rssi() && secondsBetween(row->lastSeen, now) <= quietAfter) {
        rssi_ = row->rssi();
        lastHeard_ = row->lastSeen;
        trend_ = trendTracker_.add(*rssi_, now);  // the tick's time keeps the look-back even
        if (status_.kind != Status::Kind::reacquired) status_ = Status{Status::Kind::tracking, {}, {}};
        return;
    }

    auto candidates = rotationCandidates(table, now);
    if (candidates.empty()) {
        const auto kind = secondsBetween(lastHeard_, now) > lostAfter ? Status::Kind::lost : Status::Kind::searching;
        status_ = Status{kind, {}, {}};
    } else if (candidates.size() == 1) {
        choose(*candidates.front());
    } else {
        std::vector<std::string> keys;
        keys.reserve(candidates.size());
        for (const DeviceRecord* candidate : candidates) keys.push_back(candidate->id);
        status_ = Status::ambiguous(std::move(keys));
    }
}

void FindSession::choose(const DeviceRecord& record) {
    std::string previousKey = std::exchange(targetKey_, record.id);
    rssi_ = record.rssi();
    lastHeard_ = record.lastSeen;
    trendTracker_.reset();
    trend_ = TrendDirection::steady;
    status_ = Status::reacquired(std::move(previousKey));
}

bool FindSession::isHearingTarget() const {
    return status_.kind == Status::Kind::tracking || status_.kind == Status::Kind::reacquired;
}

double FindSession::clicksPerSecond() const {
    if (!isHearingTarget() || !rssi_) return 0.0;
    return ClickRate::perSecond(*rssi_);
}

std::vector<const DeviceRecord*> FindSession::rotationCandidates(const DeviceTable& table, Instant now) const {
    const Instant appearedSince = addingSeconds(lastHeard_, -rotationOverlap);
    std::vector<const DeviceRecord*> candidates;
    for (const auto& [key, row] : table.records()) {
        if (key == targetKey_) continue;
        if (row.firstSeen < appearedSince) continue;
        if (secondsBetween(row.lastSeen, now) > quietAfter) continue;
        const auto level = row.rssi();
        if (!level) continue;
        // A device at a very different level is a different device.
        if (rssi_ && std::abs(*rssi_ - *level) > matchWithin) continue;
        if (!(Fingerprint(row) == fingerprint_)) continue;
        candidates.push_back(&row);
    }
    // Byte order of UTF-8 is code-point order.
    std::sort(candidates.begin(), candidates.end(),
              [](const DeviceRecord* a, const DeviceRecord* b) { return a->id < b->id; });
    return candidates;
}

std::string_view name(FindSession::Status::Kind kind) {
    using Kind = FindSession::Status::Kind;
    switch (kind) {
        case Kind::searching: return "searching";
        case Kind::tracking: return "tracking";
        case Kind::lost: return "lost";
        case Kind::reacquired: return "reacquired";
        case Kind::ambiguous: return "ambiguous";
    }
    return "tracking";
}

}  // namespace quillmote
