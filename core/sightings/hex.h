#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillmote {

// A byte string as heard or stored. Views are used where a decoder only reads.
using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// The byte at `at`, absent outside the data.
std::optional<std::uint8_t> byteAt(ByteView data, std::ptrdiff_t at);

// Bytes from `from` for `count` bytes (or to the end), cut short at the end;
// empty when `from` is at or past the end. The result's indices start again at 0.
ByteView bytesFrom(ByteView data, std::size_t from, std::optional<std::size_t> count = std::nullopt);

// Byte `at` × 256 + byte `at` + 1, absent unless both lie inside the data.
std::optional<std::uint16_t> uint16BigEndian(ByteView data, std::ptrdiff_t at);

// "0A FF": two upper-case digits per byte, one space between bytes.
std::string hexString(ByteView data);

// Lenient reader: every non-hex character is ignored; an odd digit count is absent.
std::optional<Bytes> bytesFromHex(std::string_view text);

// Exactly four upper-case digits, zero-padded.
std::string hex4(std::uint16_t value);

}  // namespace quillmote
