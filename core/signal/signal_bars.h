#pragma once

#include <optional>

namespace quillmote::SignalBars {

// 0 to 5 bars: one per 10 dB above −100 dBm; 0 without a signal.
int count(std::optional<double> rssi);

}  // namespace quillmote::SignalBars
