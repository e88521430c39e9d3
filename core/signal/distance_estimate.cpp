#include "core/signal/distance_estimate.h"

#include <algorithm>
#include <cmath>

#include "core/decoding/beacons.h"
#include "core/decoding/manufacturer_data.h"

namespace quillmote::DistanceEstimate {

namespace {

// The usual loss between the antenna and one metre away.
constexpr double lossAtOneMetre = 41.0;

struct OneMetreStrength {
    double dBm;
    bool isCalibrated;
};

std::optional<OneMetreStrength> strengthAtOneMetre(const Advertisement& advertisement) {
    if (auto data = ManufacturerData::from(advertisement.manufacturerData);
        data && data->companyID == ManufacturerData::apple) {
        for (const auto& message : AppleContinuity::messages(data->payload)) {
            if (auto beacon = IBeacon::from(message)) return OneMetreStrength{double(beacon->measuredPower), true};
        }
    }
    if (auto frame = advertisement.serviceData.find(std::string(Eddystone::serviceUUID));
        frame != advertisement.serviceData.end()) {
        if (auto power = Eddystone::transmitPowerAtAntenna(frame->second)) {
            return OneMetreStrength{*power - lossAtOneMetre, true};
        }
    }
    if (advertisement.txPower) return OneMetreStrength{*advertisement.txPower - lossAtOneMetre, false};
    return std::nullopt;
}

// A bound that is not a number cannot form a range.
std::optional<Estimate> makeEstimate(double lower, double upper, bool isCalibrated) {
    if (std::isnan(lower) || std::isnan(upper) || lower > upper) return std::nullopt;
    return Estimate{lower, upper, isCalibrated};
}

std::string metres(double whole) { return std::to_string(static_cast<long long>(whole)); }

}  // namespace

std::string Estimate::label() const {
    return DistanceEstimate::label(lower, upper) + (isCalibrated ? "" : "?");
}

std::optional<Estimate> estimate(const RangedBeacon& beacon) {
    // Stored files may keep a ranging result of -1 ("unknown"); that is no distance.
    if (!beacon.metres || !(*beacon.metres > 0)) return std::nullopt;
    return makeEstimate(*beacon.metres, *beacon.metres, true);
}

std::optional<Estimate> estimate(std::optional<double> rssi, const Advertisement& advertisement) {
    if (!rssi) return std::nullopt;
    auto strength = strengthAtOneMetre(advertisement);
    if (!strength) return std::nullopt;
    // Between free space (exponent 2) and a cluttered room (exponent 3).
    double loss = strength->dBm - *rssi;
    double a = std::pow(10.0, loss / 30.0);
    double b = std::pow(10.0, loss / 20.0);
    return makeEstimate(std::min(a, b), std::max(a, b), strength->isCalibrated);
}

std::string label(double lower, double upper) {
    if (upper < 1.0) return "< 1 m";
    if (lower > 50.0) return "> 50 m";
    // fmax/fmin keep a stray NaN from reaching the integer conversion.
    double lo = std::fmax(std::round(lower), 1.0);
    double hi = std::fmin(std::fmax(lo, std::round(upper)), 50.0);
    if (lo != hi) return metres(lo) + "\u2013" + metres(hi) + " m";
    return "\u2248 " + metres(lo) + " m";
}

}  // namespace quillmote::DistanceEstimate
