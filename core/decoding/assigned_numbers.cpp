#include "core/decoding/assigned_numbers.h"

namespace quillmote::embedded {
// Generated from data/*.tsv when the library is built.
extern const std::string_view companyIdentifiers;
extern const std::string_view serviceUUIDs;
}  // namespace quillmote::embedded

namespace quillmote::AssignedNumbers {

namespace {

constexpr std::string_view baseUUIDPrefix = "0000";
constexpr std::string_view baseUUIDSuffix = "-0000-1000-8000-00805F9B34FB";
constexpr std::size_t fullUUIDLength = 36;
constexpr std::size_t shortUUIDLength = 4;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::uint16_t> companyKey(std::string_view piece) {
    if (piece.empty()) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : piece) {
        int digit = hexValue(c);
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
        if (value > 0xFFFF) return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

std::optional<std::string_view> serviceKey(std::string_view piece) {
    if (piece.size() != shortUUIDLength) return std::nullopt;
    return piece;
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Compares without copying the text: a full UUID would not fit the short-string buffer.
bool equalsUpperCased(std::string_view text, std::string_view upperCase) {
    if (text.size() != upperCase.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (upper(text[i]) != upperCase[i]) return false;
    return true;
}

}  // namespace

template <typename Key>
std::unordered_map<Key, std::string_view> parse(
    std::string_view text, const std::function<std::optional<Key>(std::string_view)>& key) {
    std::unordered_map<Key, std::string_view> table;
    while (!text.empty()) {
        auto newline = text.find('\n');
        auto line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);

        auto tab = line.find('\t');
        if (tab == std::string_view::npos) continue;
        auto identifier = line.substr(0, tab);
        auto name = line.substr(tab + 1);
        if (identifier.empty() || name.empty()) continue;
        if (auto k = key(identifier)) table.insert_or_assign(*k, name);
    }
    return table;
}

template std::unordered_map<std::string_view, std::string_view> parse<std::string_view>(
    std::string_view, const std::function<std::optional<std::string_view>(std::string_view)>&);
template std::unordered_map<std::uint16_t, std::string_view> parse<std::uint16_t>(
    std::string_view, const std::function<std::optional<std::uint16_t>(std::string_view)>&);

const std::unordered_map<std::string_view, std::string_view>& services() {
    static const auto table = parse<std::string_view>(embedded::serviceUUIDs, serviceKey);
    return table;
}

const std::unordered_map<std::uint16_t, std::string_view>& companies() {
    static const auto table = parse<std::uint16_t>(embedded::companyIdentifiers, companyKey);
    return table;
}

std::optional<std::string> shortUUID(std::string_view uuid) {
    std::string_view digits;
    if (uuid.size() == shortUUIDLength) {
        digits = uuid;
    } else if (uuid.size() == fullUUIDLength && equalsUpperCased(uuid.substr(0, baseUUIDPrefix.size()), baseUUIDPrefix) &&
               equalsUpperCased(uuid.substr(fullUUIDLength - baseUUIDSuffix.size()), baseUUIDSuffix)) {
        digits = uuid.substr(baseUUIDPrefix.size(), shortUUIDLength);
    } else {
        return std::nullopt;
    }
    std::string text(digits);
    for (char& c : text) c = upper(c);
    return text;
}

std::optional<std::string_view> serviceName(std::string_view uuid) {
    auto shortForm = shortUUID(uuid);
    if (!shortForm) return std::nullopt;
    const auto& table = services();
    auto found = table.find(*shortForm);
    if (found == table.end()) return std::nullopt;
    return found->second;
}

std::optional<std::string_view> companyName(std::uint16_t companyID) {
    const auto& table = companies();
    auto found = table.find(companyID);
    if (found == table.end()) return std::nullopt;
    return found->second;
}

}  // namespace quillmote::AssignedNumbers
