#include "app/click_synth.h"

#include <portaudio.h>

#include <gtest/gtest.h>

namespace quillmote {
namespace {

// The start/stop rules hold whether or not the machine has a sound card: a start
// attempt is made only when a positive rate finds the output stopped. Without a device
// every such rate tries again at once, which costs nothing; a device that failed to
// open waits for the backoff, and a running one needs no new try.
TEST(ClickSynth, StartsOnlyForPositiveRatesWhileStoppedAndStopsOnlyAtZero) {
    ClickSynth synth;  // sets PortAudio up
    const bool noDevice = Pa_GetDefaultOutputDevice() == paNoDevice;
    if (noDevice) {
        EXPECT_EQ(synth.sampleRate(), 48000.0);
    }
    synth.setRate(-1);
    synth.setRate(0);
    EXPECT_EQ(synth.startAttempts(), 0);
    synth.setRate(5);
    EXPECT_EQ(synth.startAttempts(), 1);
    const bool started = synth.isRunning();
    synth.setRate(20);
    EXPECT_EQ(synth.startAttempts(), noDevice ? 2 : 1);

    const int attempts = synth.startAttempts();
    synth.setRate(-1);  // neither starts nor stops
    EXPECT_EQ(synth.startAttempts(), attempts);
    EXPECT_EQ(synth.isRunning(), started);
    synth.setRate(0);
    EXPECT_FALSE(synth.isRunning());
    synth.setRate(0.5);
    EXPECT_EQ(synth.startAttempts(), attempts + (started || noDevice ? 1 : 0));
}

// A busy output is tried again 1 s after the first failure, then after 2, 4, … up to
// 30 s between tries; a success starts over.
TEST(StartBackoff, SpacesTriesAfterFailuresAndStartsOverOnSuccess) {
    using namespace std::chrono_literals;
    StartBackoff backoff;
    auto now = StartBackoff::Clock::time_point{} + 1h;
    EXPECT_TRUE(backoff.mayTry(now));
    for (auto wait : {1s, 2s, 4s, 8s, 16s, 30s, 30s}) {
        backoff.failed(now);
        EXPECT_FALSE(backoff.mayTry(now + wait - 1ms)) << wait.count();
        EXPECT_TRUE(backoff.mayTry(now + wait)) << wait.count();
        now += wait;
    }
    backoff.succeeded();
    EXPECT_TRUE(backoff.mayTry(now));
    backoff.failed(now);
    EXPECT_FALSE(backoff.mayTry(now + 999ms));
    EXPECT_TRUE(backoff.mayTry(now + 1s));
}

}  // namespace
}  // namespace quillmote
