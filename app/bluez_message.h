#pragma once

#include <systemd/sd-bus.h>

#include <string>
#include <vector>

#include "core/bluez/device_properties.h"

// BlueZ's values read straight off an sd-bus message into the shapes the pure mapping
// reads, with no tree of variants in between. Each reads one complete value at the
// message's read position and returns a negative errno when the message holds
// something else there; the caller then drops what it was reading.
namespace quillmote::bluez {

// A variant (`v`), as a property map holds its values.
int readPropertyValue(sd_bus_message* message, PropertyValue& value);
// A property map (`a{sv}`), in the order it arrived.
int readProperties(sd_bus_message* message, DeviceProperties& properties);
// An array of strings (`as`).
int readStrings(sd_bus_message* message, std::vector<std::string>& texts);
// Any one complete value, as text ("true", "-42", "[a, b]", "{1: 0A}", "(x, 2)").
int describeValue(sd_bus_message* message, std::string& text);

}  // namespace quillmote::bluez
