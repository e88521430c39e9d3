// Any bytes as a minute file of the activity history. Every line that reads back is
// written again and must read back as the same minute with the same counts.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/activity/history_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillmote;
    for (const MinuteRecord& record :
         HistoryFiles::minuteFileRecords(std::string_view(reinterpret_cast<const char*>(data), size))) {
        const auto again = HistoryFiles::record(HistoryFiles::line(record));
        if (!again || again->observedSeconds != record.observedSeconds || again->passing != record.passing ||
            again->arrived != record.arrived || again->left != record.left || again->moved != record.moved)
            std::abort();
    }
    return 0;
}
