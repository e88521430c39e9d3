#include "core/import/packet_decoder.h"

#include "core/import/advertising_data.h"
#include "core/import/byte_order.h"
#include "core/import/log_import.h"
#include "core/sightings/fixture.h"

namespace quillmote {

namespace {

constexpr std::uint8_t leMetaEvent = 0x3E;
constexpr std::uint32_t advertisingAccessAddress = 0x8E89BED6;

// 127 for "not available" is dropped by the sighting, as any implausible level is.
std::optional<int> rssiOf(std::uint8_t byte) { return static_cast<std::int8_t>(byte); }

// ADV_IND and ADV_DIRECT_IND invite a connection, ADV_SCAN_IND and ADV_NONCONN_IND do
// not; a scan response says nothing either way.
std::optional<bool> legacyConnectable(std::uint8_t eventType) {
    if (eventType <= 1) return true;
    if (eventType <= 3) return false;
    return std::nullopt;
}

}  // namespace

void PacketDecoder::hciEvent(ByteView event, Instant time) {
    if (event.size() < 2 || event.size() - 2 < event[1]) {
        ++counts_.damagedRecords;
        return;
    }
    const ByteView parameters = event.subspan(2, event[1]);
    if (event[0] != leMetaEvent || parameters.empty()) return;
    switch (parameters[0]) {
        case 0x02: advertisingReports(parameters.subspan(1), time); break;
        case 0x0B: directedReports(parameters.subspan(1), time); break;
        case 0x0D: extendedReports(parameters.subspan(1), time); break;
        default: break;
    }
}

// Each report whole before the next, as BlueZ reads them: a report that does not fit
// ends the event, and those before it stand.
void PacketDecoder::advertisingReports(ByteView reports, Instant time) {
    const std::size_t count = reports.empty() ? 0 : reports[0];
    std::size_t at = 1;
    for (std::size_t i = 0; i < count; ++i) {
        const ByteView report = bytesFrom(reports, at);
        if (report.size() < 9 || report.size() - 9 < std::size_t(report[8]) + 1) {
            ++counts_.damagedRecords;
            return;
        }
        const std::size_t length = report[8];
        add(report.subspan(2, 6), time, rssiOf(report[9 + length]), report.subspan(9, length),
            legacyConnectable(report[0]));
        at += 10 + length;
    }
}

void PacketDecoder::extendedReports(ByteView reports, Instant time) {
    constexpr std::size_t fixed = 24;
    const std::size_t count = reports.empty() ? 0 : reports[0];
    std::size_t at = 1;
    for (std::size_t i = 0; i < count; ++i) {
        const ByteView report = bytesFrom(reports, at);
        if (report.size() < fixed || report.size() - fixed < report[23]) {
            ++counts_.damagedRecords;
            return;
        }
        const std::size_t length = report[23];
        at += fixed + length;
        if (report[2] == 0xFF) continue;  // anonymous: no address to know it by
        const bool connectable = report[0] & 0x01, scanResponse = report[0] & 0x08;
        add(report.subspan(3, 6), time, rssiOf(report[13]), report.subspan(fixed, length),
            scanResponse ? std::nullopt : std::optional(connectable));
    }
}

void PacketDecoder::directedReports(ByteView reports, Instant time) {
    constexpr std::size_t size = 16;
    const std::size_t count = reports.empty() ? 0 : reports[0];
    for (std::size_t i = 0; i < count; ++i) {
        const ByteView report = bytesFrom(reports, 1 + i * size, size);
        if (report.size() < size) {
            ++counts_.damagedRecords;
            return;
        }
        add(report.subspan(2, 6), time, rssiOf(report[15]), {}, true);
    }
}

void PacketDecoder::linkLayer(ByteView packet, Instant time) {
    constexpr std::size_t pseudoHeader = 10;
    if (packet.size() < pseudoHeader + 6) {
        ++counts_.damagedRecords;
        return;
    }
    const auto flags = numberAt(packet, 8, 2, false);
    // A packet whose CRC failed has bits flipped anywhere, the address too.
    if ((flags & 0x0400) && !(flags & 0x0800)) {
        ++counts_.damagedRecords;
        return;
    }
    const std::optional<int> rssi = flags & 0x0002 ? rssiOf(packet[1]) : std::nullopt;
    const ByteView air = packet.subspan(pseudoHeader);
    if (numberAt(air, 0, 4, false) != advertisingAccessAddress) return;  // a connection's data
    const std::uint8_t type = air[4] & 0x0F;
    const std::size_t length = air[5];
    if (air.size() - 6 < length) {
        ++counts_.damagedRecords;
        return;
    }
    const ByteView payload = air.subspan(6, length);
    const std::size_t needed = type == 1 ? 12 : 6;  // AdvA, and TargetA for a directed one
    switch (type) {
        case 0: case 1: case 2: case 4: case 6:
            if (payload.size() < needed) {
                ++counts_.damagedRecords;
                return;
            }
            add(payload.first(6), time, rssi, type == 1 ? ByteView{} : payload.subspan(6),
                type <= 1 ? std::optional(true) : type == 4 ? std::nullopt : std::optional(false));
            break;
        case 7: extendedPdu(payload, time, rssi); break;
        default: break;  // requests and connections carry no advertising data
    }
}

// ADV_EXT_IND and the auxiliary PDUs: a header of optional fields, AdvA first when
// present. Only a PDU that names its advertiser is a sighting.
void PacketDecoder::extendedPdu(ByteView payload, Instant time, std::optional<int> rssi) {
    if (payload.empty()) {
        ++counts_.damagedRecords;
        return;
    }
    const std::size_t headerLength = payload[0] & 0x3F;
    const bool connectable = (payload[0] >> 6) == 1;
    if (payload.size() - 1 < headerLength) {
        ++counts_.damagedRecords;
        return;
    }
    const ByteView header = payload.subspan(1, headerLength);
    if (header.empty() || !(header[0] & 0x01)) return;
    if (header.size() < 7) {
        ++counts_.damagedRecords;
        return;
    }
    add(header.subspan(1, 6), time, rssi, payload.subspan(1 + headerLength), connectable);
}

void PacketDecoder::add(ByteView address, Instant time, std::optional<int> rssi, ByteView data,
                        std::optional<bool> connectable) {
    // A day of a busy room is millions: the start of it is still worth having.
    if (sightings_.size() == Fixture::maxSightings) {
        ++counts_.pastLimit;
        return;
    }
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string key;
    for (std::size_t i = address.size(); i-- > 0;) {
        key += digits[address[i] >> 4];
        key += digits[address[i] & 0x0F];
        if (i > 0) key += ':';
    }
    bool cutShort = false;
    Advertisement advertisement = advertisementFromData(data, &cutShort);
    if (cutShort) ++counts_.cutAdvertisingData;
    advertisement.isConnectable = connectable;
    if (devices_.insert(key).second) ++counts_.devices;
    ++counts_.advertisements;
    sightings_.emplace_back(SightingSource::lowEnergy, std::move(key), time, rssi, std::nullopt,
                            std::move(advertisement));
}

}  // namespace quillmote
