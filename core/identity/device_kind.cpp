#include "core/identity/device_kind.h"

namespace quillmote {

std::string_view rawValue(DeviceKind kind) {
    switch (kind) {
        case DeviceKind::phone: return "Phone";
        case DeviceKind::computer: return "Computer";
        case DeviceKind::tablet: return "Tablet";
        case DeviceKind::earbuds: return "Earbuds / headphones";
        case DeviceKind::speaker: return "Speaker";
        case DeviceKind::watch: return "Watch / wearable";
        case DeviceKind::tracker: return "Tracker";
        case DeviceKind::beacon: return "Beacon";
        case DeviceKind::tv: return "TV / media";
        case DeviceKind::input: return "Keyboard / mouse";
        case DeviceKind::health: return "Health / fitness sensor";
        case DeviceKind::printer: return "Printer / camera";
        case DeviceKind::smartHome: return "Smart home";
        case DeviceKind::appleDevice: return "Apple device";
        case DeviceKind::unknown: return "Unknown";
    }
    return "Unknown";
}

std::optional<DeviceKind> deviceKindFromRaw(std::string_view raw) {
    for (DeviceKind kind : allDeviceKinds)
        if (rawValue(kind) == raw) return kind;
    return std::nullopt;
}

}  // namespace quillmote
