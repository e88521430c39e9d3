#include "core/sightings/uuid.h"

#include "core/sightings/hex.h"

namespace quillmote {

namespace {

constexpr bool isDashPosition(std::size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

}  // namespace

std::string Uuid::text() const {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0x0F]);
    }
    return out;
}

std::optional<Uuid> Uuid::fromText(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (isDashPosition(i) ? c != '-' : !hex) return std::nullopt;
    }
    auto bytes = bytesFromHex(text);
    Uuid uuid;
    std::copy(bytes->begin(), bytes->end(), uuid.bytes.begin());
    return uuid;
}

}  // namespace quillmote
