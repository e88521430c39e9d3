#include "core/table/packet_log.h"

#include <algorithm>

namespace quillmote {

void PacketLog::append(Sighting sighting) {
    List& list = listFor(sighting.deviceKey);
    unfile(list);
    list.items.push_back(std::move(sighting));
    file(list);
    ++total_;
    if (list.size() > perDevice + perDeviceSlack) trim(list, perDevice);
    while (total_ > overall) {
        while (bySize_[longest_].empty()) --longest_;
        List& busiest = *bySize_[longest_].back();
        trim(busiest, busiest.size() * 3 / 4);
    }
}

void PacketLog::shiftTimes(Instant::duration by) {
    for (auto& [key, list] : entries_)
        for (std::size_t i = list.head; i < list.items.size(); ++i) list.items[i].time += by;
}

void PacketLog::rekey(const std::string& from, const std::string& to) {
    if (from == to) return;
    std::vector<Sighting> combined;
    if (auto found = entries_.find(from); found != entries_.end()) {
        List& old = found->second;
        combined.assign(std::make_move_iterator(old.items.begin() + static_cast<std::ptrdiff_t>(old.head)),
                        std::make_move_iterator(old.items.end()));
        total_ -= old.size();
        erase(found);
        for (auto& sighting : combined) sighting.deviceKey = to;
    }
    List& target = listFor(to);
    unfile(target);
    total_ -= target.size();
    std::move(target.items.begin() + static_cast<std::ptrdiff_t>(target.head), target.items.end(),
              std::back_inserter(combined));
    // Stable: among equal times the moved packets stay first.
    std::stable_sort(combined.begin(), combined.end(),
                     [](const Sighting& a, const Sighting& b) { return a.time < b.time; });
    target.items = std::move(combined);
    target.head = 0;
    total_ += target.size();
    file(target);
    trim(target, perDevice);
}

void PacketLog::remove(const std::string& key) {
    auto found = entries_.find(key);
    if (found == entries_.end()) return;
    total_ -= found->second.size();
    erase(found);
}

std::vector<Sighting> PacketLog::packets(const std::string& key) const {
    auto found = entries_.find(key);
    if (found == entries_.end()) return {};
    const List& list = found->second;
    return {list.items.begin() + static_cast<std::ptrdiff_t>(list.head), list.items.end()};
}

std::size_t PacketLog::count(const std::string& key) const {
    auto found = entries_.find(key);
    return found == entries_.end() ? 0 : found->second.size();
}

std::unordered_map<std::string, std::size_t> PacketLog::counts() const {
    std::unordered_map<std::string, std::size_t> out;
    for (const auto& [key, list] : entries_) out.emplace(key, list.size());
    return out;
}

PacketLog::List& PacketLog::listFor(const std::string& key) {
    auto [entry, created] = entries_.try_emplace(key);
    if (created) file(entry->second);
    return entry->second;
}

void PacketLog::trim(List& list, std::size_t keep) {
    if (list.size() <= keep) return;
    std::size_t drop = list.size() - keep;
    unfile(list);
    // Dropped packets give back their memory now; only their shells wait for compaction.
    for (std::size_t i = list.head; i < list.head + drop; ++i) list.items[i] = Sighting();
    list.head += drop;
    if (list.head > list.size()) {
        list.items.erase(list.items.begin(), list.items.begin() + static_cast<std::ptrdiff_t>(list.head));
        list.head = 0;
    }
    total_ -= drop;
    file(list);
}

void PacketLog::file(List& list) {
    std::size_t size = list.size();
    if (bySize_.size() <= size) bySize_.resize(size + 1);
    list.slot = bySize_[size].size();
    bySize_[size].push_back(&list);
    longest_ = std::max(longest_, size);
}

void PacketLog::unfile(List& list) {
    auto& bucket = bySize_[list.size()];
    bucket[list.slot] = bucket.back();
    bucket[list.slot]->slot = list.slot;
    bucket.pop_back();
}

void PacketLog::erase(std::unordered_map<std::string, List>::iterator entry) {
    unfile(entry->second);
    entries_.erase(entry);
}

}  // namespace quillmote
