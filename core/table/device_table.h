#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/table/device_record.h"
#include "core/table/packet_log.h"

namespace quillmote {

// One row per physical device: routes each sighting to its row (through aliases
// for devices that changed address), logs recent packets, folds a new address onto
// the row of the device it rotated from, and keeps the row count bounded.
class DeviceTable {
public:
    static constexpr std::size_t maxRows = 1000;
    // A new row is examined for folding while heard for at most this long.
    static constexpr double foldExaminedFor = 5.0;
    // An old row qualifies when it fell silent at most this long before the new one appeared.
    static constexpr double foldSilentGap = 60.0;
    // Before a fold is decided, the old row must have been silent for twice its recent
    // packet interval, within these bounds: a twin that is still advertising speaks
    // again in that time, after the new row's first packet, and so is no candidate.
    static constexpr double foldGraceMinimum = 1.0;
    static constexpr double foldGraceMaximum = foldExaminedFor;

    explicit DeviceTable(bool appleDataHidden = false) : appleDataHidden_(appleDataHidden) {}

    // Absorbs a batch in order, then folds rotated identities and enforces the row
    // limit. `now` is when the batch is taken in; without it, the latest time heard.
    void absorb(std::vector<Sighting>&& sightings, std::optional<Instant> now = std::nullopt);
    void absorb(std::span<const Sighting> sightings, std::optional<Instant> now = std::nullopt);

    // Removes low-energy rows last heard more than `seconds` before `now`.
    void removeSilent(Instant now, double seconds);
    // Removes paired rows whose key is not among `keys`.
    void keepPaired(const std::set<std::string>& keys);
    // Moves every stored instant: after the wall clock was set back, ages and rates
    // keep counting from where they were.
    void shiftTimes(Instant::duration by);

    const DeviceRecord* record(const std::string& key) const;
    // The key of the row that now stands for `key`: its alias target, or `key` itself.
    const std::string& rowKey(const std::string& key) const;
    std::vector<DeviceRecord> orderedRecords() const;
    const std::unordered_map<std::string, DeviceRecord>& records() const { return records_; }
    const std::vector<std::string>& order() const { return order_; }
    const PacketLog& packetLog() const { return packetLog_; }
    const std::unordered_map<std::string, std::string>& aliases() const { return aliases_; }
    const std::set<std::string>& unmatched() const { return unmatched_; }

private:
    std::unordered_map<std::string, DeviceRecord> records_;
    std::vector<std::string> order_;  // creation order
    PacketLog packetLog_;
    std::unordered_map<std::string, std::string> aliases_;  // old key → row key, one level deep
    std::set<std::string> unmatched_;  // new low-energy rows the fold has yet to settle
    bool appleDataHidden_;
    Instant latestHeard_{};

    void absorbOne(Sighting&& sighting);
    void afterBatch(std::optional<Instant> now);
    void foldRotatedIdentities(Instant now);
    void fold(const std::string& newKey, const std::string& into);
    void enforceRowLimit();
    void remove(const std::set<std::string>& keys);
};

}  // namespace quillmote
