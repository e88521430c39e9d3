#pragma once

#include <optional>

#include "core/sightings/hex.h"

namespace quillmote {

// What a file holds, told from its first bytes, never from its name: a capture (the
// program's own JSON array of sightings) or a log another tool wrote.
enum class LogFormat { capture, btsnoop, pcap, pcapng };

// From up to the first 16 bytes; absent when they are none of these.
std::optional<LogFormat> logFormatOf(ByteView firstBytes);

}  // namespace quillmote
