#include "core/find/click_generator.h"

#include <algorithm>
#include <cmath>

namespace quillmote {

static_assert(std::atomic<double>::is_always_lock_free, "the audio thread must never wait for the rate");

namespace {

constexpr double clickSeconds = 0.004;
constexpr double shortestGapSeconds = 0.02;
constexpr float clickPeak = 0.35f;
constexpr float clickDecay = 6.0f;  // e-foldings over one click
constexpr double smallestUniform = 1e-9;

// Whole samples in a non-negative real count, truncated, held within the integer
// type (a huge or non-number count must not overflow the conversion).
std::int64_t wholeSamples(double count) {
    constexpr double limit = 0x1p62;  // far beyond any gap, with room for the countdown
    if (!(count > 0.0)) return 0;
    if (count >= limit) return static_cast<std::int64_t>(limit);
    return static_cast<std::int64_t>(count);
}

// Xorshift never leaves a zero state: that seed would give soundless clicks.
std::uint64_t usableSeed(std::uint64_t seed) { return seed != 0 ? seed : ClickGenerator::defaultSeed; }

}  // namespace

ClickGenerator::ClickGenerator(double sampleRate, std::uint64_t seed)
    : sampleRate_(sampleRate),
      clickLength_(wholeSamples(sampleRate * clickSeconds)),
      shortestGap_(wholeSamples(sampleRate * shortestGapSeconds)),
      noise_(usableSeed(seed)) {}

void ClickGenerator::render(std::size_t frames, float* const* buffers, std::size_t channels) {
    lastRate_ = rate_.load(std::memory_order_relaxed);
    const double rate = lastRate_;
    for (std::size_t i = 0; i < frames; ++i) {
        const float sample = nextSample(rate);
        if (!buffers) continue;
        for (std::size_t channel = 0; channel < channels; ++channel) {
            if (float* buffer = buffers[channel]) buffer[i] = sample;
        }
    }
}

float ClickGenerator::nextSample(double rate) {
    if (clickSample_ < clickLength_) {
        const float envelope = std::exp(-clickDecay * static_cast<float>(clickSample_) /
                                        static_cast<float>(clickLength_)) * clickPeak;
        const float noise = static_cast<float>(static_cast<std::int64_t>(step())) * 0x1p-63f;
        ++clickSample_;
        return envelope * noise;
    }
    if (rate > 0.0) {
        --samplesUntilClick_;
        if (samplesUntilClick_ < 1) {
            clickSample_ = 0;  // the click starts with the next sample
            samplesUntilClick_ = std::max(shortestGap_, randomGap(rate));
        }
    }
    return 0.0f;
}

std::int64_t ClickGenerator::randomGap(double rate) {
    const double u = std::max(static_cast<double>(step() >> 11) * 0x1p-53, smallestUniform);
    const double seconds = -std::log(u) / rate;
    return wholeSamples(sampleRate_ * seconds);
}

std::uint64_t ClickGenerator::step() {
    noise_ ^= noise_ << 13;
    noise_ ^= noise_ >> 7;
    noise_ ^= noise_ << 17;
    return noise_;
}

}  // namespace quillmote
