#include "core/decoding/class_of_device.h"

#include <gtest/gtest.h>

namespace quillmote {
namespace {

// One row per rule of the major and minor classes, with the edges of each name table.
TEST(ClassOfDevice, KindAndDescriptionByMajorAndMinor) {
    const struct {
        std::uint32_t raw;
        DeviceKind kind;
        const char* description;
    } cases[] = {
        {0xFF5A020F, DeviceKind::phone, "Phone \u00B7 Smartphone"},  // service-class and format bits play no part
        {0x000218, DeviceKind::phone, "Phone"},                      // past the last phone minor
        {0x00011C, DeviceKind::tablet, "Computer \u00B7 Tablet"},
        {0x000120, DeviceKind::computer, "Computer"},                // past the last computer minor
        {0x000418, DeviceKind::earbuds, "Audio / video \u00B7 Headphones"},
        {0x00040C, DeviceKind::speaker, "Audio / video"},            // an unnamed minor
        {0x000424, DeviceKind::tv, "Audio / video \u00B7 Set-top box"},
        {0x000440, DeviceKind::tv, "Audio / video \u00B7 Video conferencing"},
        {0x000500, DeviceKind::input, "Peripheral"},
        {0x000540, DeviceKind::input, "Peripheral \u00B7 Keyboard"},
        {0x0005C8, DeviceKind::input, "Peripheral \u00B7 Keyboard + pointer"},
        {0x000508, DeviceKind::input, "Peripheral \u00B7 Gamepad"},
        {0x00050C, DeviceKind::input, "Peripheral \u00B7 Remote control"},
        {0x000714, DeviceKind::watch, "Wearable \u00B7 Glasses"},
        {0x000000, DeviceKind::unknown, "Miscellaneous"},
        {0x000904, DeviceKind::health, "Health"},
        {0x000A00, DeviceKind::unknown, "Uncategorized"},            // past the last major
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassOfDevice{c.raw}.kind(), c.kind) << std::hex << c.raw;
        EXPECT_EQ(ClassOfDevice{c.raw}.description(), c.description) << std::hex << c.raw;
    }
}

}  // namespace
}  // namespace quillmote
