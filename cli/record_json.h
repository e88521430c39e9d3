#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "core/table/device_record.h"

namespace quillmote::cli {

// The identity fields of a record: deviceKey, displayName, packetCount, maker,
// kind, label, certainty, evidence, details.
nlohmann::json identityJson(const DeviceRecord& record);

// A table row as the command line prints it, with its time-dependent fields at `now`.
nlohmann::json rowJson(const DeviceRecord& record, std::size_t loggedPackets, Instant now);

// Pretty-printed with sorted keys; text from radios that is not UTF-8 becomes U+FFFD.
std::string dump(const nlohmann::json& value);

}  // namespace quillmote::cli
