#pragma once

#include <optional>
#include <string>

#include "core/sightings/advertisement.h"
#include "core/sightings/ranged_beacon.h"

namespace quillmote::DistanceEstimate {

// A rough range in metres. Calibrated when the one-metre strength comes from a
// beacon's own calibration (or the distance from location ranging), not from a
// transmit power the device claims.
struct Estimate {
    double lower = 0;
    double upper = 0;
    bool isCalibrated = false;

    // "5–10 m", "≈ 3 m", "< 1 m", "> 50 m", with "?" appended when not calibrated.
    std::string label() const;

    friend bool operator==(const Estimate&, const Estimate&) = default;
};

// A ranged beacon's own distance; absent when it carries none.
std::optional<Estimate> estimate(const RangedBeacon& beacon);

// From the smoothed signal and the strength at one metre the advertisement implies
// (iBeacon measured power, Eddystone ranging data, or transmit power − 41 dB),
// between path-loss exponents 2 and 3.
std::optional<Estimate> estimate(std::optional<double> rssi, const Advertisement& advertisement);

// Whole metres: "< 1 m", "> 50 m", "≈ 3 m" or "5–10 m".
std::string label(double lower, double upper);

}  // namespace quillmote::DistanceEstimate
