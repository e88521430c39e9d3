#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace quillmote {

// What kind of thing a device is. The raw value doubles as the display name.
enum class DeviceKind {
    phone,
    computer,
    tablet,
    earbuds,
    speaker,
    watch,
    tracker,
    beacon,
    tv,
    input,
    health,
    printer,
    smartHome,
    appleDevice,
    unknown,
};

inline constexpr std::array<DeviceKind, 15> allDeviceKinds{
    DeviceKind::phone,   DeviceKind::computer, DeviceKind::tablet, DeviceKind::earbuds,
    DeviceKind::speaker, DeviceKind::watch,    DeviceKind::tracker, DeviceKind::beacon,
    DeviceKind::tv,      DeviceKind::input,    DeviceKind::health, DeviceKind::printer,
    DeviceKind::smartHome, DeviceKind::appleDevice, DeviceKind::unknown,
};

std::string_view rawValue(DeviceKind kind);
std::optional<DeviceKind> deviceKindFromRaw(std::string_view raw);

}  // namespace quillmote
