#include "core/import/log_format.h"

#include <algorithm>
#include <cstdint>

namespace quillmote {

namespace {

bool startsWith(ByteView data, std::initializer_list<std::uint8_t> prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

}  // namespace

std::optional<LogFormat> logFormatOf(ByteView first) {
    if (startsWith(first, {'b', 't', 's', 'n', 'o', 'o', 'p', 0})) return LogFormat::btsnoop;
    // Either byte order, microsecond or nanosecond timestamps.
    if (startsWith(first, {0xA1, 0xB2, 0xC3, 0xD4}) || startsWith(first, {0xD4, 0xC3, 0xB2, 0xA1}) ||
        startsWith(first, {0xA1, 0xB2, 0x3C, 0x4D}) || startsWith(first, {0x4D, 0x3C, 0xB2, 0xA1}))
        return LogFormat::pcap;
    // A section header block, with its byte-order mark in either order.
    if (startsWith(first, {0x0A, 0x0D, 0x0D, 0x0A}) &&
        (startsWith(bytesFrom(first, 8), {0x1A, 0x2B, 0x3C, 0x4D}) ||
         startsWith(bytesFrom(first, 8), {0x4D, 0x3C, 0x2B, 0x1A})))
        return LogFormat::pcapng;
    ByteView rest = startsWith(first, {0xEF, 0xBB, 0xBF}) ? bytesFrom(first, 3) : first;  // a UTF-8 byte-order mark
    const auto text = std::find_if(rest.begin(), rest.end(), [](std::uint8_t c) {
        return c != ' ' && c != '\t' && c != '\n' && c != '\r';
    });
    if (text != rest.end() && *text == '[') return LogFormat::capture;
    return std::nullopt;
}

}  // namespace quillmote
