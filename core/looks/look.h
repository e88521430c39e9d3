#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace quillmote {

// How the device list is drawn: the ordinary list, or one of three typographic pages.
enum class Look { standard, voice, ledger, present };

inline constexpr std::array<Look, 4> allLooks{Look::standard, Look::voice, Look::ledger, Look::present};

// "Standard", "Voice", "Ledger", "Present": the menu title and the stored form.
std::string_view rawValue(Look look);
// Exact raw values only.
std::optional<Look> lookFromRaw(std::string_view raw);

}  // namespace quillmote
