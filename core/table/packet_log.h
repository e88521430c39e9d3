#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/sightings/sighting.h"

namespace quillmote {

// Recent low-energy packets per row, for the raw data view and for folding a
// rotated address onto its old row. Bounded per device and overall.
class PacketLog {
public:
    static constexpr std::size_t perDevice = 500;
    static constexpr std::size_t overall = 5000;
    // A device's list grows to this before it is cut back to `perDevice` in one step.
    static constexpr std::size_t perDeviceSlack = 50;

    void append(Sighting sighting);
    // Moves `from`'s packets to `to`, merged with its own in time order.
    void rekey(const std::string& from, const std::string& to);
    // Drops a row's packets.
    void remove(const std::string& key);
    // Moves every packet's time, after the wall clock was set.
    void shiftTimes(Instant::duration by);

    // Oldest first; empty for a key without a log.
    std::vector<Sighting> packets(const std::string& key) const;
    std::size_t count(const std::string& key) const;
    std::size_t total() const { return total_; }
    // The length of every row's list.
    std::unordered_map<std::string, std::size_t> counts() const;

private:
    // One row's packets. Dropping the oldest only moves `head`; the dead front is
    // compacted away once it outgrows the live part, so trimming costs O(1) per packet.
    struct List {
        std::vector<Sighting> items;
        std::size_t head = 0;
        std::size_t slot = 0;  // position in its size bucket

        std::size_t size() const { return items.size() - head; }
    };

    std::unordered_map<std::string, List> entries_;
    std::size_t total_ = 0;
    // Lists by length, so the overall cap finds the longest list without a scan:
    // with hundreds of devices that cap trims on almost every append.
    std::vector<std::vector<List*>> bySize_;
    std::size_t longest_ = 0;

    List& listFor(const std::string& key);
    void trim(List& list, std::size_t keep);
    void unfile(List& list);
    void file(List& list);
    void erase(std::unordered_map<std::string, List>::iterator entry);
};

}  // namespace quillmote
