#include "core/sightings/advertisement.h"

namespace quillmote {

namespace {

template <typename T>
void takePresent(std::optional<T>& mine, const std::optional<T>& newer) {
    if (newer) mine = newer;
}

template <typename Map>
void unite(Map& mine, const Map& newer) {
    for (const auto& [key, value] : newer) mine.insert_or_assign(key, value);
}

void takeNonEmpty(std::vector<std::string>& mine, const std::vector<std::string>& newer) {
    if (!newer.empty()) mine = newer;
}

}  // namespace

void Advertisement::merge(const Advertisement& newer) {
    takePresent(localName, newer.localName);
    takePresent(manufacturerData, newer.manufacturerData);
    takePresent(txPower, newer.txPower);
    takePresent(isConnectable, newer.isConnectable);
    unite(serviceData, newer.serviceData);
    unite(otherFields, newer.otherFields);
    takeNonEmpty(serviceUUIDs, newer.serviceUUIDs);
    takeNonEmpty(overflowServiceUUIDs, newer.overflowServiceUUIDs);
    takeNonEmpty(solicitedServiceUUIDs, newer.solicitedServiceUUIDs);
}

bool Advertisement::isEmpty() const { return *this == Advertisement{}; }

}  // namespace quillmote
