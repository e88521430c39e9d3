#include "core/find/click_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace quillmote {
namespace {

constexpr float untouched = 7.0f;  // no sample can be this loud

std::vector<float> render(ClickGenerator& generator, std::size_t frames) {
    std::vector<float> samples(frames, untouched);
    float* buffer = samples.data();
    generator.render(frames, &buffer, 1);
    return samples;
}

// Indices where a click's first audible sample falls.
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

// The silence a gap draw asks for, in samples.
std::int64_t gapFrom(std::uint64_t x, double rate, double sampleRate) {
    const double u = std::max(static_cast<double>(x >> 11) / 9007199254740992.0, 1e-9);
    const double seconds = -std::log(u) / rate;
    return std::max(static_cast<std::int64_t>(std::floor(sampleRate * 0.02)),
                    static_cast<std::int64_t>(sampleRate * seconds));
}

TEST(ClickGenerator, LengthsFollowTheSampleRate) {
    ClickGenerator studio(48000);
    EXPECT_EQ(studio.sampleRate(), 48000.0);
    EXPECT_EQ(studio.clickLength(), 192);
    EXPECT_EQ(studio.shortestGap(), 960);
    ClickGenerator cd(44100);
    EXPECT_EQ(cd.clickLength(), 176);
    EXPECT_EQ(cd.shortestGap(), 882);
    ClickGenerator odd(11025);
    EXPECT_EQ(odd.clickLength(), 44);
    EXPECT_EQ(odd.shortestGap(), 220);

    EXPECT_EQ(studio.rate(), 0.0);
    studio.setRate(12.5);
    EXPECT_EQ(studio.rate(), 12.5);

    // A meaningless sample rate makes a silent generator, never a crash.
    for (double sampleRate : {0.0, -48000.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        ClickGenerator broken(sampleRate);
        EXPECT_GE(broken.clickLength(), 0) << sampleRate;
        EXPECT_GE(broken.shortestGap(), 0) << sampleRate;
        if (!(sampleRate > 0)) {
            EXPECT_EQ(broken.clickLength(), 0) << sampleRate;
            broken.setRate(20);
            auto samples = render(broken, 4096);
            EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](float s) { return s == 0.0f; })) << sampleRate;
        }
    }
}

TEST(ClickGenerator, FirstClickStartsAtOnceAndDecays) {
    const double rate = 5;
    ClickGenerator generator(48000);
    generator.setRate(rate);

    std::uint64_t x = ClickGenerator::defaultSeed;
    const std::int64_t gap = gapFrom(xorshift(x), rate, 48000);
    const std::size_t next = 1 + 192 + static_cast<std::size_t>(gap);
    auto samples = render(generator, next + 193);

    EXPECT_EQ(samples[0], 0.0f) << "the first sample starts the click";
    for (int k = 0; k < 192; ++k) {
        const float envelope = 0.35f * std::exp(-6.0f * static_cast<float>(k) / 192.0f);
        const float noise = static_cast<float>(static_cast<std::int64_t>(xorshift(x))) * 0x1p-63f;
        const float sample = samples[static_cast<std::size_t>(k) + 1];
        EXPECT_NE(sample, 0.0f) << k;
        EXPECT_LE(std::fabs(sample), envelope * 1.000001f) << k;
        EXPECT_NEAR(sample, envelope * noise, 1e-6f) << k;
    }
    EXPECT_LE(std::fabs(samples[1]), 0.35f);
    EXPECT_LE(std::fabs(samples[192]), 0.35 * std::exp(-6.0 * 191 / 192) * 1.000001);
    EXPECT_NEAR(0.35 * std::exp(-6.0 * 191 / 192), 0.0009, 0.00005);

    // Then exactly the drawn silence, and the next click.
    EXPECT_TRUE(std::all_of(samples.begin() + 193, samples.begin() + static_cast<std::ptrdiff_t>(next),
                            [](float s) { return s == 0.0f; }));
    EXPECT_EQ(clickStarts(samples), (std::vector<std::size_t>{1, next}));
    EXPECT_EQ(generator.rate(), rate);
}

// Click starts over a long render at `rate`, in buffers of 512 frames.
std::vector<std::size_t> longRenderStarts(double sampleRate, double rate, double seconds) {
    ClickGenerator generator(sampleRate);
    generator.setRate(rate);
    std::vector<float> all;
    const auto total = static_cast<std::size_t>(sampleRate * seconds);
    while (all.size() < total) {
        auto block = render(generator, 512);
        all.insert(all.end(), block.begin(), block.end());
    }
    EXPECT_EQ(std::count(all.begin(), all.end(), untouched), 0);
    return clickStarts(all);
}

TEST(ClickGenerator, ClicksAreRandomButNeverCloserThanTheShortestRhythm) {
    // Each click is 192 samples followed by the larger of 960 and an exponential
    // draw with mean 2400: about 2761 samples a cycle, a third of them the shortest.
    const double seconds = 120;
    auto starts = longRenderStarts(48000, 20, seconds);
    const double expectedClicks = seconds * 48000 / (192 + 960 + 2400 * std::exp(-0.4));
    EXPECT_NEAR(static_cast<double>(starts.size()), expectedClicks, expectedClicks * 0.06);

    std::vector<std::size_t> spacing;
    for (std::size_t i = 1; i < starts.size(); ++i) spacing.push_back(starts[i] - starts[i - 1]);
    ASSERT_FALSE(spacing.empty());
    EXPECT_EQ(*std::min_element(spacing.begin(), spacing.end()), 1152u) << "24 ms";
    const auto shortest = std::count(spacing.begin(), spacing.end(), 1152u);
    const double shortestShare = static_cast<double>(shortest) / static_cast<double>(spacing.size());
    EXPECT_NEAR(shortestShare, 1 - std::exp(-0.4), 0.05);

    auto cd = longRenderStarts(44100, 20, 30);
    for (std::size_t i = 1; i < cd.size(); ++i) ASSERT_GE(cd[i] - cd[i - 1], 176u + 882u) << i;
}

TEST(ClickGenerator, SilenceWithoutAPositiveRate) {
    ClickGenerator generator(48000);
    auto isSilent = [](const std::vector<float>& samples) {
        return std::all_of(samples.begin(), samples.end(), [](float s) { return s == 0.0f; });
    };
    EXPECT_TRUE(isSilent(render(generator, 48000)));
    generator.setRate(-1);
    EXPECT_TRUE(isSilent(render(generator, 4800)));
    generator.setRate(std::nan(""));
    EXPECT_TRUE(isSilent(render(generator, 4800)));
    // The countdown never ran, so a positive rate starts a click at once.
    generator.setRate(5);
    EXPECT_EQ(clickStarts(render(generator, 400)), std::vector<std::size_t>{1});

    // A click under way finishes when the rate drops to 0; the countdown then waits.
    ClickGenerator paused(48000);
    std::uint64_t x = ClickGenerator::defaultSeed;
    const auto gap = static_cast<std::size_t>(gapFrom(xorshift(x), 5, 48000));
    paused.setRate(5);
    auto start = render(paused, 100);
    EXPECT_EQ(std::count(start.begin(), start.end(), 0.0f), 1);
    paused.setRate(0);
    auto rest = render(paused, 20000);
    EXPECT_EQ(clickStarts(rest), std::vector<std::size_t>{0});
    EXPECT_EQ(std::count_if(rest.begin(), rest.end(), [](float s) { return s != 0.0f; }), 192 - 99);
    paused.setRate(20);
    auto resumed = render(paused, gap + 10);
    EXPECT_EQ(clickStarts(resumed), std::vector<std::size_t>{gap}) << "the countdown resumes where it stood";
}

TEST(ClickGenerator, ExtremeRatesStayWithinBounds) {
    // A vanishing rate draws a gap far beyond any integer count of samples.
    ClickGenerator glacial(48000);
    glacial.setRate(1e-300);
    EXPECT_EQ(clickStarts(render(glacial, 100000)), std::vector<std::size_t>{1});

    // An unbounded rate clicks at the fastest rhythm.
    ClickGenerator frantic(48000);
    frantic.setRate(std::numeric_limits<double>::infinity());
    auto starts = clickStarts(render(frantic, 48000));
    ASSERT_EQ(starts.size(), 42u);
    for (std::size_t i = 0; i < starts.size(); ++i) EXPECT_EQ(starts[i], 1 + 1152 * i);
}

TEST(ClickGenerator, SameSeedAndRatesGiveTheSameSamples) {
    auto play = [](std::uint64_t seed, const std::vector<double>& rates) {
        ClickGenerator generator(48000, seed);
        std::vector<float> all;
        std::size_t frames = 333;
        for (double rate : rates) {
            generator.setRate(rate);
            auto block = render(generator, frames);
            all.insert(all.end(), block.begin(), block.end());
            frames = frames * 7 % 5000 + 64;
        }
        return all;
    };
    const std::vector<double> rates{5, 20, 20, 0, 12.5, 20, 3, 20, 20, 20, 0.5, 20};
    const auto first = play(ClickGenerator::defaultSeed, rates);
    EXPECT_GT(std::count_if(first.begin(), first.end(), [](float s) { return s != 0.0f; }), 500);
    EXPECT_EQ(play(ClickGenerator::defaultSeed, rates), first);
    EXPECT_NE(play(42, rates), first);
    auto changed = rates;
    changed[1] = 19;
    EXPECT_NE(play(ClickGenerator::defaultSeed, changed), first);

    // A zero seed would leave xorshift at zero for ever: soundless clicks.
    const auto zeroSeed = play(0, rates);
    EXPECT_GT(std::count_if(zeroSeed.begin(), zeroSeed.end(), [](float s) { return s != 0.0f; }), 500);
}

TEST(ClickGenerator, WritesEveryChannelAndSkipsMissingBuffers) {
    ClickGenerator stereo(48000);
    ClickGenerator mono(48000);
    stereo.setRate(20);
    mono.setRate(20);

    std::vector<float> left(4096, untouched), right(4096, untouched);
    float* buffers[] = {left.data(), nullptr, right.data()};
    stereo.render(4096, buffers, 3);
    const auto expected = render(mono, 4096);
    EXPECT_EQ(left, expected);
    EXPECT_EQ(right, expected);
    EXPECT_FALSE(clickStarts(expected).empty());

    // Without any buffer the generator still moves on, so it stays in step.
    stereo.render(1000, nullptr, 0);
    float* none[] = {nullptr, nullptr};
    stereo.render(1000, none, 2);
    render(mono, 2000);
    stereo.render(0, buffers, 3);
    EXPECT_EQ(left, expected) << "zero frames write nothing";
    stereo.render(4096, buffers, 3);
    const auto later = render(mono, 4096);
    EXPECT_EQ(left, later);
    EXPECT_EQ(right, later);
}

}  // namespace
}  // namespace quillmote
