#include "core/signal/signal_smoother.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

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

constexpr int lowestCounted = -127;

bool counted(int rssi) { return rssi >= lowestCounted && rssi <= 0; }

// The median of readings given as counts by value.
double medianOfCounts(const std::array<std::uint32_t, 128>& counts, std::size_t total) {
    // The values at positions total/2 (and the one before it, for an even total).
    const std::size_t upper = total / 2, lower = total % 2 == 1 ? upper : upper - 1;
    std::optional<int> lowerValue;
    std::size_t seen = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        seen += counts[i];
        const int value = static_cast<int>(i) + lowestCounted;
        if (!lowerValue && seen > lower) lowerValue = value;
        if (seen > upper) return (*lowerValue + value) * 0.5;
    }
    return 0;  // not reached: the counts hold `total` readings
}

}  // namespace

double SignalSmoother::median(std::span<const int> values) {
    Scratch scratch;
    auto copy = scratch.take(values.size());
    std::copy(values.begin(), values.end(), copy.begin());
    return medianInPlace(copy);
}

void SignalSmoother::add(int rssi, Instant time) {
    auto& slot = counted(rssi) ? counts[static_cast<std::size_t>(rssi - lowestCounted)] : outside;
    ++slot;
    window.insert(std::upper_bound(window.begin(), window.end(), time,
                                   [](Instant t, const Sample& sample) { return t < sample.time; }),
                  Sample{time, rssi});
    // Measured from this reading's time, even when a late packet carries an earlier one.
    const Instant oldestKept = time - durationOf(windowLength);
    while (window.front().time < oldestKept) {
        const int gone = window.front().rssi;
        --(counted(gone) ? counts[static_cast<std::size_t>(gone - lowestCounted)] : outside);
        window.pop_front();
    }

    double target = 0;
    if (outside == 0) {
        target = medianOfCounts(counts, window.size());
    } else {
        Scratch scratch;
        auto readings = scratch.take(window.size());
        std::transform(window.begin(), window.end(), readings.begin(), [](const Sample& sample) { return sample.rssi; });
        target = medianInPlace(readings);
    }

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
