#pragma once

#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "core/import/import_counts.h"
#include "core/sightings/sighting.h"

namespace quillmote {

// Why a log could not be read at all: the reason alone, on one printable line.
class LogImportError : public std::runtime_error {
public:
    explicit LogImportError(std::string_view reason);
};

struct ImportedLog {
    std::vector<Sighting> sightings;  // in the order of the file
    ImportCounts counts;
};

// No record worth reading is longer: an HCI event is at most 257 bytes and an extended
// advertisement on the air under 300, while monitor logs also hold larger packets that
// are passed over. A length beyond this is skipped without being held.
inline constexpr std::size_t maxRecordBytes = std::size_t(256) << 10;

// The advertisements in a btsnoop (HCI, H4 or Linux monitor), pcap or pcapng log (HCI,
// H4, Linux monitor or LE link layer), read in bounded pieces as the stream delivers
// them. What cannot be read is skipped and counted, and so are advertisements past
// Fixture::maxSightings; a file that is no such log throws LogImportError.
ImportedLog importLog(std::istream& in);

}  // namespace quillmote
