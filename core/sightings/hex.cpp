#include "core/sightings/hex.h"

namespace quillmote {

namespace {

constexpr char upperDigits[] = "0123456789ABCDEF";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::uint8_t> byteAt(ByteView data, std::ptrdiff_t at) {
    if (at < 0 || static_cast<std::size_t>(at) >= data.size()) return std::nullopt;
    return data[static_cast<std::size_t>(at)];
}

ByteView bytesFrom(ByteView data, std::size_t from, std::optional<std::size_t> count) {
    if (from >= data.size()) return {};
    std::size_t available = data.size() - from;
    return data.subspan(from, count ? std::min(*count, available) : available);
}

std::optional<std::uint16_t> uint16BigEndian(ByteView data, std::ptrdiff_t at) {
    auto high = byteAt(data, at);
    auto low = byteAt(data, at + 1);
    if (!high || !low) return std::nullopt;
    return static_cast<std::uint16_t>(*high << 8 | *low);
}

std::string hexString(ByteView data) {
    std::string text;
    if (data.empty()) return text;
    text.reserve(data.size() * 3 - 1);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i > 0) text.push_back(' ');
        text.push_back(upperDigits[data[i] >> 4]);
        text.push_back(upperDigits[data[i] & 0x0F]);
    }
    return text;
}

std::optional<Bytes> bytesFromHex(std::string_view text) {
    Bytes bytes;
    bytes.reserve(text.size() / 2);
    int pending = -1;
    for (char c : text) {
        int value = hexValue(c);
        if (value < 0) continue;
        if (pending < 0) {
            pending = value;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(pending << 4 | value));
            pending = -1;
        }
    }
    if (pending >= 0) return std::nullopt;
    return bytes;
}

std::string hex4(std::uint16_t value) {
    return {upperDigits[value >> 12], upperDigits[(value >> 8) & 0x0F], upperDigits[(value >> 4) & 0x0F],
            upperDigits[value & 0x0F]};
}

}  // namespace quillmote
