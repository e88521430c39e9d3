#include "core/import/advertising_data.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "core/bluez/device_properties.h"
#include "core/import/byte_order.h"
#include "core/sightings/printable_text.h"
#include "core/sightings/uuid.h"

namespace quillmote {

namespace {

using bluez::maxListEntries;
using bluez::PropertyValue;

// A 2-, 4- or 16-byte UUID as sent (least significant byte first) in the stored form.
std::string uuidText(ByteView onAir) {
    Uuid uuid{{0, 0, 0, 0, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB}};
    if (onAir.size() == uuid.bytes.size()) {
        std::reverse_copy(onAir.begin(), onAir.end(), uuid.bytes.begin());
    } else {
        const auto value = numberAt(onAir, 0, onAir.size(), false);
        for (std::size_t i = 0; i < 4; ++i) uuid.bytes[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
    return bluez::serviceUuidText(uuid.text());
}

void addUuids(std::vector<std::string>& list, ByteView data, std::size_t width) {
    for (std::size_t at = 0; at + width <= data.size() && list.size() < maxListEntries; at += width) {
        std::string text = uuidText(data.subspan(at, width));
        if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(std::move(text));
    }
}

// Vendors pad names with NULs; any bytes may arrive, and the capture is JSON.
std::string nameText(ByteView data) {
    while (!data.empty() && data.back() == 0) data = data.first(data.size() - 1);
    std::string name = validUtf8(std::string(data.begin(), data.end()));
    if (name.size() > bluez::maxNameBytes) {
        std::size_t end = bluez::maxNameBytes;
        while ((static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
        name.resize(end);
    }
    return name;
}

}  // namespace

Advertisement advertisementFromData(ByteView data, bool* cutShort) {
    Advertisement ad;
    std::optional<std::string> shortName, completeName;
    // BlueZ's AdvertisingData map: one entry per type, a repeated type keeps its place.
    PropertyValue::CompanyData others;
    for (std::size_t at = 0; at < data.size();) {
        const std::size_t length = data[at];
        if (length == 0) break;
        if (at + 1 + length > data.size()) {
            if (cutShort) *cutShort = true;
            break;
        }
        const std::uint8_t type = data[at + 1];
        const ByteView value = data.subspan(at + 2, length - 1);
        at += 1 + length;
        switch (type) {
            case 0x01:
                if (!value.empty())
                    ad.otherFields["AdvertisingFlags"] = bluez::describe({Bytes(value.begin(), value.begin() + 1)});
                break;
            case 0x02: case 0x03: addUuids(ad.serviceUUIDs, value, 2); break;
            case 0x04: case 0x05: addUuids(ad.serviceUUIDs, value, 4); break;
            case 0x06: case 0x07: addUuids(ad.serviceUUIDs, value, 16); break;
            case 0x14: addUuids(ad.solicitedServiceUUIDs, value, 2); break;
            case 0x1F: addUuids(ad.solicitedServiceUUIDs, value, 4); break;
            case 0x15: addUuids(ad.solicitedServiceUUIDs, value, 16); break;
            case 0x08: shortName = nameText(value); break;
            case 0x09: completeName = nameText(value); break;
            case 0x0A:
                if (!value.empty()) ad.txPower = static_cast<std::int8_t>(value[0]);
                break;
            case 0x16: case 0x20: case 0x21: {
                const std::size_t width = type == 0x16 ? 2 : type == 0x20 ? 4 : 16;
                const ByteView rest = bytesFrom(value, width);
                if (value.size() >= width && ad.serviceData.size() < maxListEntries)
                    ad.serviceData.insert_or_assign(uuidText(value.first(width)), Bytes(rest.begin(), rest.end()));
                break;
            }
            case 0xFF:
                if (value.size() >= 2 && !ad.manufacturerData) ad.manufacturerData = Bytes(value.begin(), value.end());
                break;
            case 0x19:
                if (value.size() >= 2) ad.otherFields["Appearance"] = std::to_string(numberAt(value, 0, 2, false));
                break;
            default: {
                if (value.empty()) break;
                Bytes bytes(value.begin(), value.end());
                const auto same = std::find_if(others.begin(), others.end(), [&](auto& e) { return e.first == type; });
                if (same != others.end()) same->second = std::move(bytes);
                else others.emplace_back(type, std::move(bytes));
            }
        }
    }
    ad.localName = completeName ? completeName : shortName;
    if (!others.empty()) ad.otherFields["AdvertisingData"] = bluez::describe({std::move(others)});
    return ad;
}

}  // namespace quillmote
