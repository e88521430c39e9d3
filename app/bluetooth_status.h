#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmote {

// The radio's state as the store shows it.
enum class BluetoothStatus { starting, ready, poweredOff, notAllowed, unsupported, resetting };

// The case name: "starting", "ready", "poweredOff", …
std::string_view name(BluetoothStatus status);
std::optional<BluetoothStatus> bluetoothStatusFromName(std::string_view name);

// Why the radio has stayed `starting` for a while: what is missing beneath BlueZ.
enum class BluetoothProblem { none, noSystemBus, noBluetoothService };

// What the user reads about a problem: a short title, then what to do.
std::string_view problemTitle(BluetoothProblem problem);
std::string_view problemAdvice(BluetoothProblem problem);
// Both on one line, for standard error.
std::string problemLine(BluetoothProblem problem);

}  // namespace quillmote
