// Click rendering on the audio thread: 512-frame buffers at the fastest rate.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/find/click_generator.h"

namespace {

void BM_ClickRender512(benchmark::State& state) {
    constexpr std::size_t frames = 512;
    quillmote::ClickGenerator generator(48000);
    generator.setRate(20);
    std::vector<float> samples(frames);
    float* buffers[] = {samples.data()};
    for (auto _ : state) {
        generator.render(frames, buffers, 1);
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(frames));
    // Real time one buffer represents, against the time it took to render.
    state.counters["realtime_x"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * frames / 48000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ClickRender512);

}  // namespace
