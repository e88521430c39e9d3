// Any bytes as a Bluetooth log: reading either fails with LogImportError or gives
// sightings that hold nothing past its bounds, only valid UTF-8 and plausible times,
// and that are stored and read back as a capture like any other.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "core/bluez/device_properties.h"
#include "core/import/log_import.h"
#include "core/sightings/fixture.h"
#include "core/sightings/printable_text.h"

using namespace quillmote;

namespace {

bool valid(const std::string& text) { return validUtf8(text) == text; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    ImportedLog log;
    try {
        log = importLog(in);
    } catch (const LogImportError&) {
        return 0;
    }
    if (log.counts.advertisements != log.sightings.size() || log.counts.devices > log.sightings.size()) std::abort();
    const Instant earliest = std::chrono::sys_days(std::chrono::year(2000) / 1 / 1);
    const Instant latest = std::chrono::sys_days(std::chrono::year(2100) / 1 / 1);
    for (const auto& s : log.sightings) {
        const Advertisement& ad = s.advertisement;
        if (s.deviceKey.size() != 17 || s.time < earliest || s.time >= latest) std::abort();
        if (ad.localName && (ad.localName->size() > bluez::maxNameBytes || !valid(*ad.localName))) std::abort();
        if (ad.serviceUUIDs.size() > bluez::maxListEntries || ad.serviceData.size() > bluez::maxListEntries)
            std::abort();
        for (const auto& [key, text] : ad.otherFields)
            if (!valid(text)) std::abort();
    }
    const std::string once = Fixture::encode(log.sightings);
    if (Fixture::encode(Fixture::decode(once)) != once) std::abort();
    return 0;
}
