#pragma once

#include <optional>
#include <string_view>

namespace quillmote {

// Ordered far < room < near.
enum class Proximity { far, room, near };

// "Far", "Same room", "Near"
std::string_view rawValue(Proximity proximity);
std::optional<Proximity> proximityFromRaw(std::string_view raw);

// Above −55 dBm near, down to −75 dBm same room, below that far.
Proximity bucket(double rssi);

// Near / same room / far with hysteresis: a new level must hold even after the
// reading is pulled back towards the current level by `margin`.
struct ProximityTracker {
    double margin = 3.0;  // dB
    std::optional<Proximity> current;

    Proximity update(double rssi);

    friend bool operator==(const ProximityTracker&, const ProximityTracker&) = default;
};

}  // namespace quillmote
