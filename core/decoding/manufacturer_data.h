#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/sightings/hex.h"

namespace quillmote {

// The manufacturer-specific data field split into company and payload.
struct ManufacturerData {
    static constexpr std::uint16_t apple = 0x004C;
    static constexpr std::uint16_t microsoft = 0x0006;

    std::uint16_t companyID = 0;
    Bytes payload;  // everything after the company identifier, possibly empty

    // Absent for no field or fewer than two bytes. The identifier is little-endian.
    static std::optional<ManufacturerData> from(const std::optional<Bytes>& field);
    static std::optional<ManufacturerData> from(ByteView field);
    static std::optional<ManufacturerData> from(const Bytes& field) { return from(ByteView(field)); }

    // The company's name from the assigned-number table, absent when not listed.
    std::optional<std::string_view> companyName() const;

    friend bool operator==(const ManufacturerData&, const ManufacturerData&) = default;
};

}  // namespace quillmote
