#pragma once

#include <chrono>
#include <memory>

#include "core/find/click_generator.h"

namespace quillmote {

// When an output that failed to start may be tried again: not before a delay that
// starts at one second and doubles with each failure in a row, up to 30 s. A success
// starts over. Opening a busy device can block the main thread for a while, so a
// search must not retry it on every tick.
class StartBackoff {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds firstDelay{1000};
    static constexpr std::chrono::milliseconds longestDelay{30000};

    bool mayTry(Clock::time_point now) const { return now >= nextTry_; }
    void failed(Clock::time_point now);
    void succeeded();

private:
    Clock::time_point nextTry_{};
    std::chrono::milliseconds delay_ = firstDelay;
};

// Plays the find clicks: a PortAudio default output stream, mono 32-bit float,
// whose real-time callback pulls samples from a ClickGenerator. The stream exists
// only while clicks are wanted. Main thread only, apart from the callback.
class ClickSynth {
public:
    // Reads the default output's sample rate (48000 Hz when there is none); opens
    // nothing yet.
    ClickSynth();
    ~ClickSynth();

    ClickSynth(const ClickSynth&) = delete;
    ClickSynth& operator=(const ClickSynth&) = delete;

    // Clicks per second. A positive rate starts the output when it is not playing
    // (a failure is ignored, and a positive rate after the backoff's delay tries
    // again); exactly 0 stops it; a negative rate only reaches the generator.
    void setRate(double clicksPerSecond);

    bool isRunning() const { return stream_ != nullptr; }

    // How many times an output start has been tried, failed or not (a try the
    // backoff holds back is not counted).
    int startAttempts() const { return startAttempts_; }

    double rate() const { return generator_->rate(); }
    double sampleRate() const { return generator_->sampleRate(); }

private:
    // Heap-held so the callback's pointer to it never moves.
    std::unique_ptr<ClickGenerator> generator_;
    void* stream_ = nullptr;  // PaStream*, kept out of this header
    int startAttempts_ = 0;
    StartBackoff backoff_;

    void start();
    void stop();
};

}  // namespace quillmote
