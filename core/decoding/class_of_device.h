#pragma once

#include <cstdint>
#include <string>

#include "core/identity/device_kind.h"

namespace quillmote {

// The Class of Device that classic devices report; only bits 2 to 12 are read.
struct ClassOfDevice {
    std::uint32_t rawValue = 0;

    std::uint32_t major() const { return (rawValue >> 8) & 0x1F; }
    std::uint32_t minor() const { return (rawValue >> 2) & 0x3F; }
    DeviceKind kind() const;
    // "Phone · Smartphone", "Peripheral · Keyboard", "Uncategorized", …
    std::string description() const;

    friend bool operator==(const ClassOfDevice&, const ClassOfDevice&) = default;
};

}  // namespace quillmote
