#include "core/table/device_table.h"

#include <algorithm>

#include "core/table/fingerprint.h"

namespace quillmote {

namespace {

// How long `old` must have been silent before a new row like it is taken for the same
// device under a new address: twice its recent packet interval, or the longest grace
// when it has not spoken often enough to tell.
double foldGrace(const DeviceRecord& old) {
    const auto& arrivals = old.recentArrivals;
    if (arrivals.size() < 2) return DeviceTable::foldGraceMaximum;
    const double interval =
        secondsBetween(arrivals.front(), arrivals.back()) / static_cast<double>(arrivals.size() - 1);
    return std::clamp(2.0 * interval, DeviceTable::foldGraceMinimum, DeviceTable::foldGraceMaximum);
}

}  // namespace

void DeviceTable::absorb(std::vector<Sighting>&& sightings, std::optional<Instant> now) {
    for (auto& sighting : sightings) absorbOne(std::move(sighting));
    afterBatch(now);
}

void DeviceTable::absorb(std::span<const Sighting> sightings, std::optional<Instant> now) {
    for (const auto& sighting : sightings) absorbOne(Sighting(sighting));
    afterBatch(now);
}

void DeviceTable::absorbOne(Sighting&& sighting) {
    if (auto alias = aliases_.find(sighting.deviceKey); alias != aliases_.end()) sighting.deviceKey = alias->second;
    const bool lowEnergy = sighting.source == SightingSource::lowEnergy;
    latestHeard_ = std::max(latestHeard_, sighting.time);
    if (auto row = records_.find(sighting.deviceKey); row != records_.end()) {
        row->second.absorb(sighting);
    } else {
        records_.emplace(sighting.deviceKey, DeviceRecord(sighting, appleDataHidden_));
        order_.push_back(sighting.deviceKey);
        if (lowEnergy) unmatched_.insert(sighting.deviceKey);
    }
    if (lowEnergy) packetLog_.append(std::move(sighting));
}

void DeviceTable::afterBatch(std::optional<Instant> now) {
    foldRotatedIdentities(now.value_or(latestHeard_));
    enforceRowLimit();
}

void DeviceTable::foldRotatedIdentities(Instant now) {
    const std::vector<std::string> keys(unmatched_.begin(), unmatched_.end());
    for (const auto& key : keys) {
        auto row = records_.find(key);
        if (row == records_.end()) {
            unmatched_.erase(key);
            continue;
        }
        const DeviceRecord& fresh = row->second;
        if (secondsBetween(fresh.firstSeen, fresh.lastSeen) > foldExaminedFor) {
            unmatched_.erase(key);
            continue;
        }
        // Nameless devices are never folded: a name is the one thing that must match.
        if (!fresh.advertisement.localName) continue;

        std::optional<Fingerprint> freshPrint;
        const DeviceRecord* only = nullptr;
        int candidates = 0;
        for (const auto& [otherKey, other] : records_) {
            // Cheapest tests first: this scans every row for each young named row. An
            // old row that spoke after the new one appeared is another device.
            if (other.source != SightingSource::lowEnergy || other.lastSeen > fresh.firstSeen ||
                secondsBetween(other.lastSeen, fresh.firstSeen) > foldSilentGap || otherKey == key ||
                other.advertisement.localName != fresh.advertisement.localName)
                continue;
            if (!freshPrint) freshPrint.emplace(fresh);
            if (Fingerprint(other) != *freshPrint) continue;
            only = &other;
            if (++candidates > 1) break;  // ambiguity never folds
        }
        // The fold waits until the one candidate has been silent long enough to show it
        // really stopped, not merely that it has not spoken yet; until then the key
        // stays a candidate.
        if (candidates == 1 && secondsBetween(only->lastSeen, now) >= foldGrace(*only)) {
            const std::string target = only->id;
            fold(key, target);
            unmatched_.erase(key);
        }
    }
}

void DeviceTable::fold(const std::string& newKey, const std::string& into) {
    if (auto target = records_.find(into); target != records_.end())
        target->second.adoptNewIdentity(packetLog_.packets(newKey));
    packetLog_.rekey(newKey, into);
    for (auto& [old, rowKey] : aliases_)
        if (rowKey == newKey) rowKey = into;
    aliases_[newKey] = into;
    records_.erase(newKey);
    std::erase(order_, newKey);
}

void DeviceTable::enforceRowLimit() {
    if (records_.size() <= maxRows) return;
    std::vector<const DeviceRecord*> lowEnergy;
    for (const auto& key : order_) {
        const DeviceRecord& row = records_.at(key);
        if (row.source == SightingSource::lowEnergy) lowEnergy.push_back(&row);
    }
    // Heard longest ago goes first; equal times in creation order.
    std::stable_sort(lowEnergy.begin(), lowEnergy.end(),
                     [](const DeviceRecord* a, const DeviceRecord* b) { return a->lastSeen < b->lastSeen; });
    std::size_t excess = std::min(records_.size() - maxRows, lowEnergy.size());
    std::set<std::string> evicted;
    for (std::size_t i = 0; i < excess; ++i) evicted.insert(lowEnergy[i]->id);
    remove(evicted);
}

void DeviceTable::removeSilent(Instant now, double seconds) {
    std::set<std::string> silent;
    for (const auto& [key, row] : records_)
        if (row.source == SightingSource::lowEnergy && secondsBetween(row.lastSeen, now) > seconds) silent.insert(key);
    remove(silent);
}

void DeviceTable::keepPaired(const std::set<std::string>& keys) {
    std::set<std::string> gone;
    for (const auto& [key, row] : records_)
        if (row.source == SightingSource::paired && !keys.contains(key)) gone.insert(key);
    remove(gone);
}

void DeviceTable::remove(const std::set<std::string>& keys) {
    if (keys.empty()) return;
    for (const auto& key : keys) {
        records_.erase(key);
        packetLog_.remove(key);
        unmatched_.erase(key);
    }
    // Old keys of a removed row are forgotten: they start a new row if heard again.
    std::erase_if(aliases_, [&keys](const auto& alias) { return keys.contains(alias.second); });
    std::erase_if(order_, [&keys](const std::string& key) { return keys.contains(key); });
}

void DeviceTable::shiftTimes(Instant::duration by) {
    for (auto& [key, row] : records_) row.shiftTimes(by);
    packetLog_.shiftTimes(by);
    latestHeard_ += by;
}

const std::string& DeviceTable::rowKey(const std::string& key) const {
    auto alias = aliases_.find(key);
    return alias == aliases_.end() ? key : alias->second;
}

const DeviceRecord* DeviceTable::record(const std::string& key) const {
    auto found = records_.find(key);
    return found == records_.end() ? nullptr : &found->second;
}

std::vector<DeviceRecord> DeviceTable::orderedRecords() const {
    std::vector<DeviceRecord> rows;
    rows.reserve(order_.size());
    for (const auto& key : order_)
        if (auto found = records_.find(key); found != records_.end()) rows.push_back(found->second);
    return rows;
}

}  // namespace quillmote
