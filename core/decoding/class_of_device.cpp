#include "core/decoding/class_of_device.h"

#include <array>
#include <optional>
#include <string_view>

namespace quillmote {

namespace {

// Indexed by the major or minor class; an empty entry has no name.
constexpr std::array<std::string_view, 10> majorNames{
    "Miscellaneous", "Computer", "Phone",    "Network access point", "Audio / video",
    "Peripheral",    "Imaging",  "Wearable", "Toy",                  "Health",
};
constexpr std::array<std::string_view, 8> computerMinors{
    "", "Desktop", "Server", "Laptop", "Handheld", "Palm-size", "Wearable", "Tablet",
};
constexpr std::array<std::string_view, 6> phoneMinors{
    "", "Cellular", "Cordless", "Smartphone", "Modem", "ISDN",
};
constexpr std::array<std::string_view, 19> audioVideoMinors{
    "",            "Headset",       "Hands-free",     "",
    "Microphone",  "Loudspeaker",   "Headphones",     "Portable audio",
    "Car audio",   "Set-top box",   "Hi-fi audio",    "VCR",
    "Video camera", "Camcorder",    "Video monitor",  "Display + speaker",
    "Video conferencing", "",       "Gaming / toy",
};
constexpr std::array<std::string_view, 6> wearableMinors{
    "", "Wristwatch", "Pager", "Jacket", "Helmet", "Glasses",
};

template <std::size_t N>
std::optional<std::string_view> entry(const std::array<std::string_view, N>& table, std::uint32_t index) {
    if (index >= N || table[index].empty()) return std::nullopt;
    return table[index];
}

std::optional<std::string_view> peripheralMinor(std::uint32_t rawValue) {
    switch ((rawValue >> 6) & 0x03) {
        case 1: return "Keyboard";
        case 2: return "Mouse / trackpad";
        case 3: return "Keyboard + pointer";
        default: break;
    }
    switch ((rawValue >> 2) & 0x0F) {
        case 2: return "Gamepad";
        case 3: return "Remote control";
        default: return std::nullopt;
    }
}

}  // namespace

DeviceKind ClassOfDevice::kind() const {
    switch (major()) {
        case 1: return minor() == 7 ? DeviceKind::tablet : DeviceKind::computer;
        case 2: return DeviceKind::phone;
        case 4:
            switch (minor()) {
                case 1:
                case 2:
                case 6: return DeviceKind::earbuds;
                case 9:
                case 11:
                case 12:
                case 13:
                case 14:
                case 15:
                case 16: return DeviceKind::tv;
                default: return DeviceKind::speaker;
            }
        case 5: return DeviceKind::input;
        case 6: return DeviceKind::printer;
        case 7: return DeviceKind::watch;
        case 9: return DeviceKind::health;
        default: return DeviceKind::unknown;
    }
}

std::string ClassOfDevice::description() const {
    std::optional<std::string_view> minorName;
    switch (major()) {
        case 1: minorName = entry(computerMinors, minor()); break;
        case 2: minorName = entry(phoneMinors, minor()); break;
        case 4: minorName = entry(audioVideoMinors, minor()); break;
        case 5: minorName = peripheralMinor(rawValue); break;
        case 7: minorName = entry(wearableMinors, minor()); break;
        default: break;
    }
    std::string text(entry(majorNames, major()).value_or("Uncategorized"));
    if (minorName) {
        text += " \u00B7 ";
        text += *minorName;
    }
    return text;
}

}  // namespace quillmote
