#include "core/looks/look_content.h"

#include <cmath>
#include <cstdio>

#include "core/sightings/hex.h"

namespace quillmote {

SelectionNotes selectionNotes(const DeviceRecord& record) {
    SelectionNotes notes;
    if (auto proximity = record.proximity()) notes.proximity = std::string(rawValue(*proximity));
    const auto& evidence = record.identity.evidence;
    if (!evidence.empty()) {
        std::string lines;
        for (const auto& line : evidence) lines += (lines.empty() ? "" : "\n") + line;
        notes.evidence = std::move(lines);
    }
    if (const auto& data = record.advertisement.manufacturerData) notes.hex = hexString(*data);
    notes.certainty = std::string(label(record.identity.certainty));
    return notes;
}

LookContent lookContent(std::span<const DeviceRecord> visible, const std::optional<DeviceRecord>& selected,
                        int aroundNow) {
    LookContent content;
    for (const auto& record : visible)
        (record.source == SightingSource::lowEnergy ? content.heard : content.paired).push_back(record);
    content.aroundNow = aroundNow;
    if (selected) content.notes = selectionNotes(*selected);
    content.headline = std::to_string(aroundNow) + " devices around this computer";
    return content;
}

std::string LookText::dbm(std::optional<double> rssi) {
    if (!rssi || !std::isfinite(*rssi)) return "—";
    const double rounded = std::round(*rssi);  // halves away from zero
    if (rounded == 0) return "0";
    char digits[400];  // room for any double written out in full
    std::snprintf(digits, sizeof digits, "%.0f", std::fabs(rounded));
    return (rounded < 0 ? "\u2212" : "") + std::string(digits);
}

}  // namespace quillmote
