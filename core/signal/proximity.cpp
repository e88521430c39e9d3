#include "core/signal/proximity.h"

namespace quillmote {

std::string_view rawValue(Proximity proximity) {
    switch (proximity) {
        case Proximity::far: return "Far";
        case Proximity::room: return "Same room";
        case Proximity::near: return "Near";
    }
    return "Far";
}

std::optional<Proximity> proximityFromRaw(std::string_view raw) {
    for (Proximity level : {Proximity::far, Proximity::room, Proximity::near}) {
        if (rawValue(level) == raw) return level;
    }
    return std::nullopt;
}

Proximity bucket(double rssi) {
    if (rssi > -55) return Proximity::near;
    if (rssi >= -75) return Proximity::room;
    return Proximity::far;
}

Proximity ProximityTracker::update(double rssi) {
    Proximity level = bucket(rssi);
    if (!current || level == *current) {
        current = level;
        return level;
    }
    // Pull the reading back towards the level we are at; the change only holds
    // when the new level survives that.
    double shifted = *current < level ? rssi - margin : rssi + margin;
    if (bucket(shifted) == level) current = level;
    return *current;
}

}  // namespace quillmote
