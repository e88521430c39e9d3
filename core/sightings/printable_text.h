#pragma once

#include <string>
#include <string_view>

namespace quillmote {

// Text from a file or the air made safe for one line of a terminal or a message:
// control characters (C0, DEL and C1) are escaped as \n, \r, \t, \xHH or \u00HH,
// and bytes that are not UTF-8 as \xHH, so nothing in it can break the line or
// reach the terminal as a command. Everything else passes unchanged.
std::string printableText(std::string_view text);

// Text from the air made valid UTF-8, so that it can be stored as JSON: every byte
// outside a well-formed sequence becomes U+FFFD.
std::string validUtf8(std::string_view text);

}  // namespace quillmote
