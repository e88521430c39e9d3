#include "core/sightings/printable_text.h"

#include <cstdint>
#include <cstdio>

namespace quillmote {

namespace {

// The length of the well-formed UTF-8 sequence starting at `at`, or 0.
std::size_t utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    std::size_t length = 0;
    std::uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    }
    if (length == 0 || at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    return length;
}

std::string escaped(const char* format, unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

}  // namespace

std::string printableText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<std::uint8_t>(text[i]);
        if (c < 0x80) {
            if (c == '\n') shown += "\\n";
            else if (c == '\r') shown += "\\r";
            else if (c == '\t') shown += "\\t";
            else if (c < 0x20 || c == 0x7F) shown += escaped("\\x%02X", c);
            else shown += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t length = utf8Length(text, i);
        if (length == 0) {
            shown += escaped("\\x%02X", c);
            ++i;
        } else if (c == 0xC2 && static_cast<std::uint8_t>(text[i + 1]) < 0xA0) {
            shown += escaped("\\u%04X", static_cast<std::uint8_t>(text[i + 1]));  // C1 control
            i += 2;
        } else {
            shown.append(text.substr(i, length));
            i += length;
        }
    }
    return shown;
}

std::string validUtf8(std::string_view text) {
    std::string valid;
    valid.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = static_cast<std::uint8_t>(text[i]) < 0x80 ? 1 : utf8Length(text, i);
        if (length == 0) {
            valid += "\xEF\xBF\xBD";
            ++i;
        } else {
            valid.append(text.substr(i, length));
            i += length;
        }
    }
    return valid;
}

}  // namespace quillmote
