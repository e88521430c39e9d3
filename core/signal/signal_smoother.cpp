#include "core/signal/signal_smoother.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace quillmote {

namespace {

// Room for the readings of one second from a busy device without touching the
// heap; a larger window spills into a per-thread buffer that keeps its storage.
constexpr std::size_t inlineCapacity = 64;

class Scratch {
public:
    std::span<int> take(std::size_t count) {
        if (count <= inline_.size()) return {inline_.data(), count};
        thread_local std::vector<int> spill;
        spill.resize(count);
        return spill;
    }

private:
    std::array<int, inlineCapacity> inline_;
};

// Reorders `values`. The two middle values are summed in 64 bits so extreme
// readings cannot overflow.
double medianInPlace(std::span<int> values) {
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2 == 1) return *middle;
    int lowerMiddle = *std::max_element(values.begin(), middle);
    return static_cast<double>(std::int64_t{lowerMiddle} + std::int64_t{*middle}) * 0.5;
}

}  // namespace

double SignalSmoother::median(std::span<const int> values) {
    Scratch scratch;
    auto copy = scratch.take(values.size());
    std::copy(values.begin(), values.end(), copy.begin());
    return medianInPlace(copy);
}

void SignalSmoother::add(int rssi, Instant time) {
    window.push_back({time, rssi});
    // Not only from the front: a late packet may carry an earlier time than the
    // samples before it.
    const Instant oldestKept =
        time - durationOf(windowLength);
    std::erase_if(window, [oldestKept](const Sample& sample) { return sample.time < oldestKept; });

    Scratch scratch;
    auto readings = scratch.take(window.size());
    std::transform(window.begin(), window.end(), readings.begin(), [](const Sample& sample) { return sample.rssi; });
    double target = medianInPlace(readings);

    if (value && lastUpdate) {
        double dt = std::max(secondsBetween(*lastUpdate, time), 0.0);
        // A zero step stays zero even with a zero time constant.
        double alpha = dt > 0 ? -std::expm1(-dt / timeConstant) : 0.0;
        value = *value + (target - *value) * alpha;
    } else {
        value = target;
    }
    lastUpdate = time;
}

void SignalSmoother::shiftTimes(Instant::duration by) {
    for (auto& sample : window) sample.time += by;
    if (lastUpdate) *lastUpdate += by;
}

}  // namespace quillmote
