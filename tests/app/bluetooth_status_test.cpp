#include "app/bluetooth_status.h"

#include <gtest/gtest.h>

namespace quillmote {
namespace {

TEST(BluetoothStatus, CaseNamesRoundTrip) {
    for (auto status : {BluetoothStatus::starting, BluetoothStatus::ready, BluetoothStatus::poweredOff,
                        BluetoothStatus::notAllowed, BluetoothStatus::unsupported, BluetoothStatus::resetting})
        EXPECT_EQ(bluetoothStatusFromName(name(status)), status);
    EXPECT_EQ(name(BluetoothStatus::poweredOff), "poweredOff");
    EXPECT_FALSE(bluetoothStatusFromName("Ready"));
}

}  // namespace
}  // namespace quillmote
