#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/sightings/advertisement.h"

namespace quillmote {

struct DeviceRecord;

// What an advertisement says about the device behind it, apart from its address:
// used to recognise one device across privacy-address changes.
struct Fingerprint {
    std::optional<std::uint16_t> companyID;
    std::optional<std::uint8_t> continuityType;  // Apple only: the first message's type
    std::optional<std::uint16_t> modelCode;      // when that message is proximity pairing
    std::vector<std::string> services;           // service UUIDs and service-data keys, sorted, unique
    std::optional<std::string> name;             // the advertised name only

    explicit Fingerprint(const Advertisement& advertisement);
    explicit Fingerprint(const DeviceRecord& record);

    friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
};

}  // namespace quillmote
