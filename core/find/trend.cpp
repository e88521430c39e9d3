#include "core/find/trend.h"

#include <algorithm>

namespace quillmote {

std::string_view rawValue(TrendDirection direction) {
    switch (direction) {
        case TrendDirection::warmer: return "Warmer";
        case TrendDirection::colder: return "Colder";
        case TrendDirection::steady: return "Steady";
    }
    return "Steady";
}

TrendDirection TrendTracker::add(double rssi, Instant time) {
    samples.push_back({time, rssi});
    // A second beyond the look-back keeps a reference sample around when ticks are uneven.
    const double keepFor = lookBack + 1.0;
    std::erase_if(samples, [&](const Sample& sample) { return secondsBetween(sample.time, time) > keepFor; });

    auto reference = std::find_if(samples.rbegin(), samples.rend(),
                                  [&](const Sample& sample) { return secondsBetween(sample.time, time) >= lookBack; });
    if (reference == samples.rend()) return TrendDirection::steady;

    const double delta = rssi - reference->rssi;
    if (delta > deadBand) return TrendDirection::warmer;
    if (delta < -deadBand) return TrendDirection::colder;
    return TrendDirection::steady;
}

}  // namespace quillmote
