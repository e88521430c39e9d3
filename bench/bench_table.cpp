// Table absorb throughput for a realistic room: 300 devices, Apple Continuity,
// beacons, named devices that rotate their address, signal varying per packet.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/table/device_order.h"
#include "core/table/device_table.h"

namespace {

std::atomic<std::uint64_t> allocations{0};

}  // namespace

// Counts every allocation of the process, so the benchmark can report them per sighting.
// GCC cannot see that these replace the global pair, so it warns about malloc/free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace quillmote;
using namespace std::chrono;

constexpr int deviceCount = 300;
constexpr double sightingsPerSecond = 3000;  // a busy room
constexpr double rotationPeriod = 20.0;      // seconds; real phones rotate far less often

Advertisement advertisementFor(int device) {
    Advertisement ad;
    switch (device % 5) {
        case 0:
        case 1:  // iPhones and Macs: Nearby Info, nameless
            ad.manufacturerData = Bytes{0x4C, 0x00, 0x10, 0x05, 0x01, 0x18, static_cast<std::uint8_t>(device), 0x3C, 0x18};
            ad.isConnectable = true;
            break;
        case 2:  // iBeacons on a fixed address
            ad.manufacturerData = Bytes{0x4C, 0x00, 0x02, 0x15, 0xE2, 0xC5, 0x6D, 0xB5, 0xDF, 0xFB, 0x48, 0xD2, 0xB0,
                                        0x60, 0xD0, 0xF5, 0xA7, 0x10, 0x96, 0xE0, 0x00, 0x01,
                                        static_cast<std::uint8_t>(device >> 8), static_cast<std::uint8_t>(device), 0xC5};
            break;
        case 3:  // named phones with Fast Pair
            ad.localName = "Pixel " + std::to_string(device);
            ad.serviceUUIDs = {"FE2C"};
            ad.serviceData["FE2C"] = Bytes{0x00, 0x0C, 0x8A};
            break;
        default:  // named earbuds
            ad.localName = "Galaxy Buds2 (" + std::to_string(device) + ")";
            ad.manufacturerData = Bytes{0x75, 0x00, 0x42, 0x09, 0x01, 0x02};
            ad.txPower = -7;
    }
    return ad;
}

bool rotates(int device) { return device % 5 != 2; }

std::vector<Sighting> roomStream(int count) {
    const Instant start = sys_days(2026y / March / 1) + 14h;
    std::vector<Advertisement> ads;
    for (int d = 0; d < deviceCount; ++d) ads.push_back(advertisementFor(d));
    std::vector<Sighting> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        int device = (i * 7919) % deviceCount;  // interleaved, not round-robin
        double t = i / sightingsPerSecond;
        int generation = rotates(device) ? static_cast<int>((t + device * 0.05) / rotationPeriod) : 0;
        char key[18];
        std::snprintf(key, sizeof key, "%02X:%02X:%02X:00:00:%02X", generation % 256, device >> 8, device & 0xFF,
                      device % 64);
        int rssi = -45 - (i * 31 + device * 17) % 50;
        out.emplace_back(SightingSource::lowEnergy, key, addingSeconds(start, t), rssi,
                         std::nullopt, ads[static_cast<std::size_t>(device)]);
    }
    return out;
}

void BM_TableAbsorb(benchmark::State& state) {
    const auto stream = roomStream(static_cast<int>(state.range(0)));
    constexpr std::size_t perTick = static_cast<std::size_t>(sightingsPerSecond / 8);
    std::uint64_t counted = 0;
    std::size_t rows = 0;
    std::optional<DeviceTable> table;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::vector<Sighting>> ticks;
        for (std::size_t i = 0; i < stream.size(); i += perTick)
            ticks.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(i),
                               stream.begin() + static_cast<std::ptrdiff_t>(std::min(i + perTick, stream.size())));
        table.emplace();  // the last run's table is freed here, untimed
        const auto before = allocations.load();
        state.ResumeTiming();
        for (auto& batch : ticks) table->absorb(std::move(batch));
        state.PauseTiming();
        counted += allocations.load() - before;
        rows = table->records().size();
        ticks.clear();
        state.ResumeTiming();
    }
    const double sightings = static_cast<double>(state.iterations()) * static_cast<double>(stream.size());
    state.SetItemsProcessed(static_cast<std::int64_t>(sightings));
    state.counters["allocsPerSighting"] = static_cast<double>(counted) / sightings;
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_TableAbsorb)->Arg(300000)->Unit(benchmark::kMillisecond);

// A table of 1000 named rows, as the list's name column sorts it on every publish.
DeviceTable namedRoom() {
    DeviceTable table;
    std::vector<Sighting> sightings;
    const Instant start = sys_days(2026y / March / 1) + 14h;
    for (int i = 0; i < 1000; ++i) {
        char key[18];
        std::snprintf(key, sizeof key, "C0:00:00:00:%02X:%02X", i >> 8, i & 0xFF);
        Advertisement ad;
        ad.localName = (i % 4 ? "Sensor " : "Phone ") + std::to_string((i * 7919) % 1000);
        sightings.emplace_back(SightingSource::lowEnergy, key, addingSeconds(start, i / 100), -60, std::nullopt, ad);
    }
    table.absorb(std::move(sightings));
    return table;
}

void BM_DisplayOrderByName(benchmark::State& state) {
    const DeviceTable table = namedRoom();
    const TextOrder text("en_US");
    DisplayOrder display;
    for (auto _ : state) {
        display.update(table, DeviceOrder{DeviceOrder::Field::name, SortDirection::forward}, false, text);
        benchmark::DoNotOptimize(display.keys.data());
    }
}
BENCHMARK(BM_DisplayOrderByName)->Unit(benchmark::kMicrosecond);

// The same order by collating each pair as it is compared, for reference.
void BM_PairwiseSortByName(benchmark::State& state) {
    const DeviceTable table = namedRoom();
    const TextOrder text("en_US");
    const DeviceOrder order{DeviceOrder::Field::name, SortDirection::forward};
    for (auto _ : state) {
        std::vector<const DeviceRecord*> rows;
        for (const auto& key : table.order()) rows.push_back(table.record(key));
        std::stable_sort(rows.begin(), rows.end(),
                         [&](const DeviceRecord* a, const DeviceRecord* b) { return order.compare(*a, *b, text) < 0; });
        benchmark::DoNotOptimize(rows.data());
    }
}
BENCHMARK(BM_PairwiseSortByName)->Unit(benchmark::kMicrosecond);

}  // namespace
