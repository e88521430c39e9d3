#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/sightings/hex.h"

namespace quillmote {

// The decoded fields of one advertisement packet. Service UUIDs are upper-case
// texts: four digits for an assigned number ("FEAA"), 8-4-4-4-12 otherwise.
struct Advertisement {
    std::optional<std::string> localName;
    std::optional<Bytes> manufacturerData;  // company identifier first, as on the air
    std::map<std::string, Bytes> serviceData;
    std::vector<std::string> serviceUUIDs;
    std::vector<std::string> overflowServiceUUIDs;
    std::vector<std::string> solicitedServiceUUIDs;
    std::optional<int> txPower;
    std::optional<bool> isConnectable;
    std::map<std::string, std::string> otherFields;

    // Folds a newer advertisement into this one: present values and non-empty
    // lists of the newer one win; maps are united with the newer value on a clash.
    // Returns whether anything changed, which is what decides re-identification.
    bool merge(const Advertisement& newer);

    bool isEmpty() const;

    friend bool operator==(const Advertisement&, const Advertisement&) = default;
};

}  // namespace quillmote
