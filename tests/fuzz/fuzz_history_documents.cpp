// Any bytes as "surges.json" and as "named-devices.json": each loads or gives nothing,
// and what loads can be saved and loaded again.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

#include "core/activity/history_files.h"

namespace {

// One scratch folder for the whole run.
const quillmote::HistoryFiles& scratch() {
    static const quillmote::HistoryFiles files([] {
        std::string pattern = (std::filesystem::temp_directory_path() / "fuzz-history-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(pattern.data()));
    }());
    return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillmote;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto surges = HistoryFiles::surgesFrom(text).value_or(std::vector<SurgeEvent>{});
    const auto presence = HistoryFiles::namedPresenceFrom(text).value_or(NamedPresence{});
    if (!surges.empty() && !scratch().saveSurges(surges) && scratch().loadSurges().size() != surges.size())
        std::abort();
    if (!presence.days.empty() && !scratch().saveNamedPresence(presence) &&
        scratch().loadNamedPresence().days.size() > presence.days.size())
        std::abort();
    return 0;
}
