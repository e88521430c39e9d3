#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace quillmote {

// Short noise clicks at random intervals around a set average rate, rendered on the
// audio thread. Deterministic from its seed; the render path never allocates and
// never waits: the rate crosses threads as one atomic value.
class ClickGenerator {
public:
    static constexpr std::uint64_t defaultSeed = 0x9E3779B97F4A7C15ULL;

    explicit ClickGenerator(double sampleRate, std::uint64_t seed = defaultSeed);

    // Main thread. Clicks per second; 0 is silence.
    void setRate(double clicksPerSecond) { rate_.store(clicksPerSecond, std::memory_order_relaxed); }
    double rate() const { return rate_.load(std::memory_order_relaxed); }

    // Audio thread: writes `frames` samples to each of `channels` buffers (null
    // buffers are skipped).
    void render(std::size_t frames, float* const* buffers, std::size_t channels);

    double sampleRate() const { return sampleRate_; }
    std::int64_t clickLength() const { return clickLength_; }  // 4 ms
    std::int64_t shortestGap() const { return shortestGap_; }  // 20 ms of silence after a click

private:
    std::atomic<double> rate_{0.0};
    double lastRate_ = 0.0;
    double sampleRate_;
    std::int64_t clickLength_;
    std::int64_t shortestGap_;
    std::int64_t samplesUntilClick_ = 0;
    std::int64_t clickSample_ = std::numeric_limits<std::int64_t>::max();
    std::uint64_t noise_;

    float nextSample(double rate);
    std::int64_t randomGap(double rate);
    std::uint64_t step();
};

}  // namespace quillmote
