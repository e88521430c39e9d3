#pragma once

#include <memory>

#include "core/find/click_generator.h"

namespace quillmote {

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
    // (a failure is ignored and the next positive rate tries again); exactly 0 stops
    // it; a negative rate only reaches the generator.
    void setRate(double clicksPerSecond);

    bool isRunning() const { return stream_ != nullptr; }

    // How many times an output start has been tried, failed or not.
    int startAttempts() const { return startAttempts_; }

    double rate() const { return generator_->rate(); }
    double sampleRate() const { return generator_->sampleRate(); }

private:
    // Heap-held so the callback's pointer to it never moves.
    std::unique_ptr<ClickGenerator> generator_;
    void* stream_ = nullptr;  // PaStream*, kept out of this header
    int startAttempts_ = 0;

    void start();
    void stop();
};

}  // namespace quillmote
