#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillmote::AssignedNumbers {

// The Bluetooth SIG lists, compiled into the library, parsed once on first use
// (thread-safe) and shared read-only afterwards. Names point into the embedded text.
const std::unordered_map<std::string_view, std::string_view>& services();
const std::unordered_map<std::uint16_t, std::string_view>& companies();

// "180F" for "180f" or the full Bluetooth Base UUID of 0x180F; absent otherwise.
std::optional<std::string> shortUUID(std::string_view uuid);

// The SIG name of a 16-bit service, from its short or full text.
std::optional<std::string_view> serviceName(std::string_view uuid);

std::optional<std::string_view> companyName(std::uint16_t companyID);

// One reader for both embedded lists: "<identifier>\t<name>" lines; a line whose
// identifier `key` rejects is skipped, and a later duplicate replaces an earlier one.
template <typename Key>
std::unordered_map<Key, std::string_view> parse(
    std::string_view text, const std::function<std::optional<Key>(std::string_view)>& key);

}  // namespace quillmote::AssignedNumbers
