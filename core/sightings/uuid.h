#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillmote {

// A 128-bit UUID; byte 0 is the most significant byte as written.
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // Canonical upper-case 8-4-4-4-12 text.
    std::string text() const;

    // Exactly the 36-character 8-4-4-4-12 form, either case.
    static std::optional<Uuid> fromText(std::string_view text);

    friend auto operator<=>(const Uuid&, const Uuid&) = default;
};

}  // namespace quillmote
