#include "app/bluetooth_status.h"

#include <array>

namespace quillmote {

namespace {

constexpr std::array<std::pair<BluetoothStatus, std::string_view>, 6> names{{
    {BluetoothStatus::starting, "starting"},
    {BluetoothStatus::ready, "ready"},
    {BluetoothStatus::poweredOff, "poweredOff"},
    {BluetoothStatus::notAllowed, "notAllowed"},
    {BluetoothStatus::unsupported, "unsupported"},
    {BluetoothStatus::resetting, "resetting"},
}};

}  // namespace

std::string_view name(BluetoothStatus status) {
    for (const auto& [value, text] : names)
        if (value == status) return text;
    return "starting";
}

std::optional<BluetoothStatus> bluetoothStatusFromName(std::string_view text) {
    for (const auto& [value, candidate] : names)
        if (candidate == text) return value;
    return std::nullopt;
}

}  // namespace quillmote
