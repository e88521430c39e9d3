#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/table/device_record.h"

namespace quillmote {

// What the looks say about the selected device.
struct SelectionNotes {
    std::optional<std::string> proximity;  // only while the signal has a value
    std::optional<std::string> evidence;   // one clue per line
    std::optional<std::string> hex;        // the manufacturer data
    std::string certainty;

    friend bool operator==(const SelectionNotes&, const SelectionNotes&) = default;
};

// What every typographic look draws.
struct LookContent {
    std::vector<DeviceRecord> heard;   // low-energy rows, in display order
    std::vector<DeviceRecord> paired;
    int aroundNow = 0;
    std::optional<SelectionNotes> notes;
    std::string headline;  // "12 devices around this computer"
};

SelectionNotes selectionNotes(const DeviceRecord& record);

// From the store's visible rows and its selected record, if any.
LookContent lookContent(std::span<const DeviceRecord> visible, const std::optional<DeviceRecord>& selected,
                        int aroundNow);

namespace LookText {
// A reading as the looks write it: "−68" with a true minus sign, "0", or "—" without one.
std::string dbm(std::optional<double> rssi);
}  // namespace LookText

}  // namespace quillmote
