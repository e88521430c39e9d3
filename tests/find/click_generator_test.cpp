#include "core/find/click_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace quillmote {
namespace {

std::vector<float> render(ClickGenerator& generator, std::size_t frames) {
    std::vector<float> samples(frames, 7.0f);  // no sample can be this loud
    float* buffer = samples.data();
    generator.render(frames, &buffer, 1);
    return samples;
}

// Indices where a click's first audible sample falls; empty for silence.
std::vector<std::size_t> clickStarts(const std::vector<float>& samples) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (samples[i] != 0.0f && (i == 0 || samples[i - 1] == 0.0f)) starts.push_back(i);
    return starts;
}

// An independent model of the noise source: one 64-bit xorshift step.
std::uint64_t xorshift(std::uint64_t& x) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
}

// The silence after a click at 48 kHz from one draw: exponential, never under 20 ms.
std::size_t gapFrom(std::uint64_t draw, double rate) {
    const double u = static_cast<double>(draw >> 11) * 0x1p-53;
    return std::max<std::size_t>(960, static_cast<std::size_t>(48000 * (-std::log(u) / rate)));
}

TEST(ClickGenerator, LengthsFollowTheSampleRateAndBrokenRatesAreSilent) {
    ClickGenerator studio(48000);
    EXPECT_EQ(studio.clickLength(), 192);
    EXPECT_EQ(studio.shortestGap(), 960);
    ClickGenerator broken(std::nan(""));
    broken.setRate(20);
    EXPECT_TRUE(clickStarts(render(broken, 4096)).empty());
}

TEST(ClickGenerator, FirstClickStartsAtOnceDecaysAndIsFollowedByTheDrawnSilence) {
    ClickGenerator generator(48000);
    generator.setRate(5);
    std::uint64_t x = ClickGenerator::defaultSeed;
    const std::size_t next = 1 + 192 + gapFrom(xorshift(x), 5);
    auto samples = render(generator, next + 193);
    for (int k = 0; k < 192; ++k) {
        const float envelope = 0.35f * std::exp(-6.0f * static_cast<float>(k) / 192.0f);
        const float noise = static_cast<float>(static_cast<std::int64_t>(xorshift(x))) * 0x1p-63f;
        EXPECT_NEAR(samples[static_cast<std::size_t>(k) + 1], envelope * noise, 1e-6f) << k;
    }
    EXPECT_EQ(clickStarts(samples), (std::vector<std::size_t>{1, next}));
}

TEST(ClickGenerator, SilenceWithoutAPositiveRateLetsAClickFinishAndHoldsTheCountdown) {
    ClickGenerator generator(48000);
    std::uint64_t x = ClickGenerator::defaultSeed;
    const std::size_t gap = gapFrom(xorshift(x), 5);
    for (double rate : {0.0, -1.0, std::nan("")}) {
        generator.setRate(rate);
        EXPECT_TRUE(clickStarts(render(generator, 4800)).empty()) << rate;
    }
    generator.setRate(5);
    render(generator, 100);
    generator.setRate(0);
    auto rest = render(generator, 20000);
    EXPECT_EQ(clickStarts(rest), std::vector<std::size_t>{0});
    EXPECT_EQ(std::count(rest.begin(), rest.end(), 0.0f), 20000 - (192 - 99));
    generator.setRate(20);
    EXPECT_EQ(clickStarts(render(generator, gap + 10)), std::vector<std::size_t>{gap}) << "resumes where it stood";
}

TEST(ClickGenerator, ExtremeRatesAndSeedsStayWithinBounds) {
    // An unbounded rate clicks at the fastest rhythm: 4 ms of click, 20 ms of silence.
    ClickGenerator frantic(48000);
    frantic.setRate(std::numeric_limits<double>::infinity());
    std::vector<std::size_t> expected;
    for (std::size_t start = 1; start < 48000; start += 1152) expected.push_back(start);
    EXPECT_EQ(clickStarts(render(frantic, 48000)), expected);

    // A zero seed would leave xorshift at zero for ever: soundless clicks.
    ClickGenerator zeroSeed(48000, 0);
    zeroSeed.setRate(20);
    EXPECT_FALSE(clickStarts(render(zeroSeed, 400)).empty());
}

TEST(ClickGenerator, WritesEveryChannelAndStaysInStepWithoutBuffers) {
    ClickGenerator stereo(48000), mono(48000);
    stereo.setRate(20);
    mono.setRate(20);
    stereo.render(1000, nullptr, 0);  // no buffers: it still moves on, and stays in step
    render(mono, 1000);

    std::vector<float> left(4096), right(4096);
    float* buffers[] = {left.data(), nullptr, right.data()};
    stereo.render(4096, buffers, 3);
    const auto expected = render(mono, 4096);
    EXPECT_FALSE(clickStarts(expected).empty());
    EXPECT_EQ(left, expected);
    EXPECT_EQ(right, expected);
}

}  // namespace
}  // namespace quillmote
