#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "core/import/import_counts.h"
#include "core/sightings/sighting.h"

namespace quillmote {

// Turns the packets of a log into advertisement sightings, in order: HCI events as a
// controller reports what it heard, and link-layer packets as a sniffer heard them.
// Anything else is passed over; a packet whose own lengths do not fit is counted.
class PacketDecoder {
public:
    explicit PacketDecoder(ImportCounts& counts) : counts_(counts) {}

    // An HCI event without the H4 packet-type byte.
    void hciEvent(ByteView event, Instant time);
    // A link-layer packet behind its 10-byte pseudo-header (channel, signal, flags).
    void linkLayer(ByteView packet, Instant time);

    std::vector<Sighting> takeSightings() { return std::move(sightings_); }

private:
    ImportCounts& counts_;
    std::vector<Sighting> sightings_;
    std::unordered_set<std::string> devices_;

    void advertisingReports(ByteView reports, Instant time);
    void extendedReports(ByteView reports, Instant time);
    void directedReports(ByteView reports, Instant time);
    void extendedPdu(ByteView payload, Instant time, std::optional<int> rssi);
    // `address` as sent: six bytes, least significant first.
    void add(ByteView address, Instant time, std::optional<int> rssi, ByteView data,
             std::optional<bool> connectable);
};

}  // namespace quillmote
