// Reading and writing capture files at the size the recorder caps them at.
#include <benchmark/benchmark.h>

#include <sstream>

#include "core/sightings/capture_replay.h"
#include "core/sightings/fixture.h"

namespace {

using namespace quillmote;
using namespace std::chrono;

// A room's worth of traffic: Apple Nearby Info and AirPods, beacons, named devices.
std::vector<Sighting> realisticCapture(int count) {
    const Instant start = sys_days(2026y / March / 1) + 14h;
    std::vector<Sighting> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        Advertisement ad;
        switch (i % 5) {
            case 0: ad.manufacturerData = Bytes{0x4C, 0x00, 0x10, 0x06, 0x1B, 0x1E, 0x8A, 0x4F, 0x3C, 0x18}; break;
            case 1:
                ad.manufacturerData = Bytes{0x4C, 0x00, 0x07, 0x19, 0x01, 0x14, 0x20, 0x0B, 0x55, 0x8F, 0x01, 0x00,
                                            0x05, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x18, 0x29, 0x3A,
                                            0x4B, 0x5C, 0x6D, 0x7E};
                break;
            case 2:
                ad.serviceData["FEAA"] = Bytes{0x10, 0xEB, 0x03, 0x65, 0x78, 0x61, 0x6D, 0x70, 0x6C, 0x65, 0x00};
                ad.serviceUUIDs = {"FEAA"};
                break;
            case 3:
                ad.localName = "Pixel Buds " + std::to_string(i % 7);
                ad.serviceUUIDs = {"FE2C", "180F"};
                ad.txPower = -7;
                break;
            default:
                ad.manufacturerData = Bytes{0x06, 0x00, 0x01, 0x09, 0x20, 0x02, 0x7A, 0x31, 0xC4, 0x55};
                ad.isConnectable = false;
        }
        char key[18];
        std::snprintf(key, sizeof key, "C0:FF:EE:00:%02X:%02X", (i / 40) % 256, i % 40);
        out.emplace_back(SightingSource::lowEnergy, key, start + milliseconds(i * 9), -40 - i % 60, std::nullopt, ad);
    }
    return out;
}

void BM_DecodeCapture20000(benchmark::State& state) {
    const std::string text = Fixture::encode(realisticCapture(20000));
    for (auto _ : state) {
        std::istringstream in(text);
        auto sightings = Fixture::decode(in);
        benchmark::DoNotOptimize(sightings.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["fileMB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_DecodeCapture20000)->Unit(benchmark::kMillisecond);

void BM_EncodeCapture20000(benchmark::State& state) {
    const auto sightings = realisticCapture(20000);
    for (auto _ : state) benchmark::DoNotOptimize(Fixture::encode(sightings));
}
BENCHMARK(BM_EncodeCapture20000)->Unit(benchmark::kMillisecond);

// One tick's window of a looping replay, as the player asks ten times a second.
void BM_ReplayWindow(benchmark::State& state) {
    CaptureReplay replay(realisticCapture(20000));
    const Instant start = sys_days(2026y / March / 1);
    std::vector<Sighting> due;
    double previous = 1000.0;
    for (auto _ : state) {
        due.clear();
        replay.appendSightings(previous, previous + 0.125, start, due);
        previous += 0.125;
        benchmark::DoNotOptimize(due.data());
    }
}
BENCHMARK(BM_ReplayWindow);

}  // namespace
