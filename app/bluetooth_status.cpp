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

std::string_view problemTitle(BluetoothProblem problem) {
    switch (problem) {
        case BluetoothProblem::noSystemBus: return "Can't reach the system bus";
        case BluetoothProblem::noBluetoothService: return "The Bluetooth service isn't running";
        case BluetoothProblem::none: break;
    }
    return {};
}

std::string_view problemAdvice(BluetoothProblem problem) {
    switch (problem) {
        case BluetoothProblem::noSystemBus:
            return "Quillmote hears Bluetooth through the system's D-Bus, and it doesn't answer. Start it with "
                   "\"systemctl start dbus\", or install the dbus package. Quillmote keeps trying and carries on by "
                   "itself.";
        case BluetoothProblem::noBluetoothService:
            return "Start it with \"systemctl start bluetooth\", or install the bluez package. Quillmote keeps trying "
                   "and carries on by itself.";
        case BluetoothProblem::none: break;
    }
    return {};
}

std::string problemLine(BluetoothProblem problem) {
    if (problem == BluetoothProblem::none) return {};
    return std::string(problemTitle(problem)) + ". " + std::string(problemAdvice(problem));
}

}  // namespace quillmote
