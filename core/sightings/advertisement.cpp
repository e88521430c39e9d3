#include "core/sightings/advertisement.h"

namespace quillmote {

namespace {

template <typename T>
bool takePresent(std::optional<T>& mine, const std::optional<T>& newer) {
    if (!newer || mine == newer) return false;
    mine = newer;
    return true;
}

template <typename Map>
bool unite(Map& mine, const Map& newer) {
    bool changed = false;
    for (const auto& [key, value] : newer) {
        auto found = mine.find(key);
        if (found == mine.end()) {
            mine.emplace(key, value);
            changed = true;
        } else if (found->second != value) {
            found->second = value;
            changed = true;
        }
    }
    return changed;
}

bool takeNonEmpty(std::vector<std::string>& mine, const std::vector<std::string>& newer) {
    if (newer.empty() || mine == newer) return false;
    mine = newer;
    return true;
}

}  // namespace

bool Advertisement::merge(const Advertisement& newer) {
    // Every step runs: no short-circuit may skip a merge.
    bool changed = takePresent(localName, newer.localName);
    changed |= takePresent(manufacturerData, newer.manufacturerData);
    changed |= takePresent(txPower, newer.txPower);
    changed |= takePresent(isConnectable, newer.isConnectable);
    changed |= unite(serviceData, newer.serviceData);
    changed |= unite(otherFields, newer.otherFields);
    changed |= takeNonEmpty(serviceUUIDs, newer.serviceUUIDs);
    changed |= takeNonEmpty(overflowServiceUUIDs, newer.overflowServiceUUIDs);
    changed |= takeNonEmpty(solicitedServiceUUIDs, newer.solicitedServiceUUIDs);
    return changed;
}

bool Advertisement::isEmpty() const { return *this == Advertisement{}; }

}  // namespace quillmote
