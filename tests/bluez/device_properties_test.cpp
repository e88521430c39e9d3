#include "core/bluez/device_properties.h"

#include <gtest/gtest.h>

namespace quillmote::bluez {
namespace {

TEST(DeviceProperties, WhatARadioSendsIsHeldWithinBounds) {
    // A name of 'é' (two bytes each) long past the bound is cut between characters.
    std::string name;
    for (int i = 0; i < 5000; ++i) name += "\xC3\xA9";
    const DeviceProperties properties{
        {"Name", {name}},
        {"RSSI", {std::int64_t{-61}}},
        {"ManufacturerData", {PropertyValue::CompanyData{{0x004C, Bytes(64 * 1024, 0xAB)}}}},
        {"UUIDs", {std::vector<std::string>(500, "0000180f-0000-1000-8000-00805f9b34fb")}},
        {"AdvertisingData", {PropertyValue::Described{std::string(20000, 'x')}}},
    };
    DeviceState device;
    const auto sighting = applyDeviceProperties(properties, "/org/bluez/hci0/dev_C0_FF_EE_00_00_01", device, Instant{});
    ASSERT_TRUE(sighting);
    EXPECT_EQ(sighting->deviceKey, "C0:FF:EE:00:00:01");
    ASSERT_TRUE(sighting->advertisement.localName);
    EXPECT_EQ(sighting->advertisement.localName->size(), maxNameBytes);
    EXPECT_EQ(sighting->advertisement.localName->substr(0, 4), "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(sighting->advertisement.manufacturerData->size(), maxDataBytes + 2);
    EXPECT_EQ(sighting->advertisement.serviceUUIDs.size(), maxListEntries);
    EXPECT_EQ(sighting->advertisement.serviceUUIDs.front(), "180F");
    EXPECT_EQ(sighting->advertisement.otherFields.at("AdvertisingData").size(), 4096u);
    EXPECT_EQ(device.rssi, -61);

    // An odd byte count cuts before the character it would split.
    EXPECT_EQ(textValue({std::string(maxNameBytes - 1, 'a') + "\xC3\xA9"})->size(), maxNameBytes - 1);
}

}  // namespace
}  // namespace quillmote::bluez
