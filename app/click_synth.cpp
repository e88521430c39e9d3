#include "app/click_synth.h"

#include <portaudio.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>

#if __has_include(<alsa/asoundlib.h>)
#include <alsa/asoundlib.h>
#define QUILLMOTE_HAVE_ALSA 1
#endif

namespace quillmote {
namespace {

constexpr double fallbackSampleRate = 48000.0;

#ifdef QUILLMOTE_HAVE_ALSA
void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
#endif

void ignoreJackMessage(const char*) {}

// ALSA and JACK write dozens of lines to stderr while PortAudio probes them (more
// still on a machine without sound). JACK is reached through PortAudio, not linked
// here, so its setters are looked up in the already loaded library.
void silenceAudioChatter() {
#ifdef QUILLMOTE_HAVE_ALSA
    snd_lib_error_set_handler(&ignoreAlsaMessage);
#endif
    using MessageSetter = void (*)(void (*)(const char*));
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"})
        if (auto* setter = reinterpret_cast<MessageSetter>(dlsym(RTLD_DEFAULT, name)))
            setter(&ignoreJackMessage);
}

// PortAudio is set up once for the whole process and never torn down: a second
// ClickSynth, or one made after another was destroyed, shares it.
bool portAudioReady() {
    static const bool ready = [] {
        silenceAudioChatter();
        return Pa_Initialize() == paNoError;
    }();
    return ready;
}

double outputSampleRate() {
    if (!portAudioReady())
        return fallbackSampleRate;
    PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    if (device == paNoDevice)
        return fallbackSampleRate;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (info == nullptr || !(info->defaultSampleRate > 0))
        return fallbackSampleRate;
    return info->defaultSampleRate;
}

int renderClicks(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                 PaStreamCallbackFlags, void* userData) {
    float* channels[] = {static_cast<float*>(output)};
    static_cast<ClickGenerator*>(userData)->render(frames, channels, 1);
    return paContinue;
}

}  // namespace

void StartBackoff::failed(Clock::time_point now) {
    nextTry_ = now + delay_;
    delay_ = std::min(delay_ * 2, longestDelay);
}

void StartBackoff::succeeded() {
    nextTry_ = {};
    delay_ = firstDelay;
}

ClickSynth::ClickSynth() : generator_(std::make_unique<ClickGenerator>(outputSampleRate())) {}

ClickSynth::~ClickSynth() { stop(); }

void ClickSynth::setRate(double clicksPerSecond) {
    generator_->setRate(clicksPerSecond);
    if (clicksPerSecond > 0 && !isRunning())
        start();
    else if (clicksPerSecond == 0 && isRunning())
        stop();
}

void ClickSynth::start() {
    if (!backoff_.mayTry(StartBackoff::Clock::now()))
        return;
    ++startAttempts_;
    if (!portAudioReady())
        return;
    // PortAudio lists devices once per process: without an output now, opening would
    // only fail again, after ~25 ms on the caller's thread, on every tick of a search.
    if (Pa_GetDefaultOutputDevice() == paNoDevice)
        return;
    PaStream* stream = nullptr;
    if (Pa_OpenDefaultStream(&stream, 0, 1, paFloat32, generator_->sampleRate(), paFramesPerBufferUnspecified,
                             &renderClicks, generator_.get()) != paNoError) {
        // Counted from the end of the failure: a busy device can take long to refuse.
        backoff_.failed(StartBackoff::Clock::now());
        return;
    }
    if (Pa_StartStream(stream) != paNoError) {
        Pa_CloseStream(stream);
        backoff_.failed(StartBackoff::Clock::now());
        return;
    }
    backoff_.succeeded();
    stream_ = stream;
}

void ClickSynth::stop() {
    if (stream_ == nullptr)
        return;
    auto* stream = static_cast<PaStream*>(stream_);
    stream_ = nullptr;
    // Abort rather than stop: draining the queued buffers would make the caller
    // wait for audio, and a cut-off click tail is inaudible.
    Pa_AbortStream(stream);
    Pa_CloseStream(stream);
}

}  // namespace quillmote
