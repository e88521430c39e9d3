#pragma once

#include <optional>
#include <string_view>

namespace quillmote {

// The radio's state as the store shows it.
enum class BluetoothStatus { starting, ready, poweredOff, notAllowed, unsupported, resetting };

// The case name: "starting", "ready", "poweredOff", …
std::string_view name(BluetoothStatus status);
std::optional<BluetoothStatus> bluetoothStatusFromName(std::string_view name);

}  // namespace quillmote
