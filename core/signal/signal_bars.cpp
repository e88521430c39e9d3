#include "core/signal/signal_bars.h"

#include <algorithm>
#include <cmath>

namespace quillmote::SignalBars {

int count(std::optional<double> rssi) {
    if (!rssi || std::isnan(*rssi)) return 0;
    return static_cast<int>(std::clamp(std::floor((*rssi + 100) / 10), 0.0, 5.0));
}

}  // namespace quillmote::SignalBars
