#include "core/decoding/manufacturer_data.h"

#include "core/decoding/assigned_numbers.h"

namespace quillmote {

std::optional<ManufacturerData> ManufacturerData::from(const std::optional<Bytes>& field) {
    if (!field) return std::nullopt;
    return from(ByteView(*field));
}

std::optional<ManufacturerData> ManufacturerData::from(ByteView field) {
    auto low = byteAt(field, 0);
    auto high = byteAt(field, 1);
    if (!low || !high) return std::nullopt;
    // The company identifier is the one little-endian number of the field.
    auto companyID = static_cast<std::uint16_t>(*high << 8 | *low);
    auto payload = bytesFrom(field, 2);
    return ManufacturerData{companyID, Bytes(payload.begin(), payload.end())};
}

std::optional<std::string_view> ManufacturerData::companyName() const {
    return AssignedNumbers::companyName(companyID);
}

}  // namespace quillmote
