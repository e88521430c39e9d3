// Decoding cost per advertisement, as identification and fingerprinting pay it
// on every packet, and the cost of naming companies and services.

#include <benchmark/benchmark.h>

#include <charconv>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/decoding/apple_continuity.h"
#include "core/decoding/assigned_numbers.h"
#include "core/decoding/beacons.h"
#include "core/decoding/manufacturer_data.h"

namespace {

using namespace quillmote;

Bytes hex(std::string_view text) { return bytesFromHex(text).value(); }

struct Packet {
    std::optional<Bytes> manufacturerData;
    std::map<std::string, Bytes> serviceData;
};

// Roughly what a busy room sounds like: mostly Apple phones and laptops, some
// earbuds and trackers, a few beacons and Android devices with service data.
std::vector<Packet> roomMix() {
    Packet nearbyInfo{hex("4C 00 10 07 3B 1F 8E 6A 2C 41 18"), {}};
    Packet nearbyWithHandoff{hex("4C 00 0C 0E 00 A7 5C 44 11 6B 0F 26 9E 41 C2 2D 33 90 10 05 01 18 D1 6C 4E"), {}};
    Packet airPods{hex("4C 00 07 19 01 14 20 0B 77 8F 01 00 05 A1 5E 6E 2F 08 35 9C 1A 44 DD 7A 60 51 2B 80 07"), {}};
    Packet findMy{hex("4C 00 12 19 10 6D 5C 1E 93 AF 07 62 C1 84 F2 39 B0 4A 18 E7 5D 26 C3 91 0E 7B D4 01 A6"), {}};
    Packet iBeacon{hex("4C 00 02 15 E2 C5 6D B5 DF FB 48 D2 B0 60 D0 F5 A7 10 96 E0 00 01 00 2A C5"), {}};
    Packet eddystoneURL{std::nullopt, {{"FEAA", hex("10 EB 03 65 78 61 6D 70 6C 65 07")}}};
    Packet eddystoneUID{std::nullopt,
                        {{"FEAA", hex("00 E7 8B 1F 2C 3D 4E 5F 60 71 82 93 00 00 00 00 00 01 00 00")}}};
    Packet googleTracker{std::nullopt, {{"FEAA", hex("41 5A 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 00 11 22 33")}}};
    Packet samsung{hex("75 00 42 04 01 80 60 A4 C1 38 E9 7F A6 C2 38 E9 7F A5 01 00 00 00 00 00"),
                   {{"FD5A", hex("02 0F 3A 5C")}}};
    Packet battery{std::nullopt, {{"180F", hex("5A")}, {"0000FE2C-0000-1000-8000-00805F9B34FB", hex("00 01")}}};
    Packet microsoft{hex("06 00 01 09 20 02 5B 3C 71 D4 1E 88 09 2A 6F 40 95 B3 21 8C 4D 77 E2 10 0A"), {}};

    std::vector<Packet> mix;
    for (int i = 0; i < 4; ++i) mix.push_back(nearbyInfo);
    for (int i = 0; i < 2; ++i) mix.push_back(nearbyWithHandoff);
    for (int i = 0; i < 2; ++i) mix.push_back(airPods);
    for (int i = 0; i < 2; ++i) mix.push_back(findMy);
    for (const auto& other : {iBeacon, eddystoneURL, eddystoneUID, googleTracker, samsung, battery, microsoft})
        mix.push_back(other);
    return mix;
}

// Everything the identification rules ask of one packet.
std::size_t decode(const Packet& packet) {
    std::size_t facts = 0;
    if (auto manufacturer = ManufacturerData::from(packet.manufacturerData)) {
        facts += manufacturer->companyName().has_value();
        if (manufacturer->companyID == ManufacturerData::apple) {
            for (const auto& message : AppleContinuity::messages(manufacturer->payload)) {
                facts += displayName(message.kind()).size();
                if (auto pairing = ProximityPairing::from(message)) facts += pairing->modelName().has_value();
                if (auto device = findMyDeviceFrom(message)) facts += label(*device).size();
                if (auto beacon = IBeacon::from(message)) facts += beacon->major;
            }
        }
    }
    for (const auto& [uuid, data] : packet.serviceData) {
        facts += AssignedNumbers::serviceName(uuid).has_value();
        if (uuid == Eddystone::serviceUUID)
            if (auto eddystone = Eddystone::fromServiceData(data)) facts += eddystone->label().size();
    }
    return facts;
}

void BM_DecodingRoomMix(benchmark::State& state) {
    auto mix = roomMix();
    for (auto _ : state) {
        for (const auto& packet : mix) benchmark::DoNotOptimize(decode(packet));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(mix.size()));
}
BENCHMARK(BM_DecodingRoomMix);

void BM_DecodingContinuitySplit(benchmark::State& state) {
    Bytes payload = hex("0C 0E 00 A7 5C 44 11 6B 0F 26 9E 41 C2 2D 33 90 10 05 01 18 D1 6C 4E 12 02 00 01");
    for (auto _ : state) benchmark::DoNotOptimize(AppleContinuity::messages(payload));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodingContinuitySplit);

void BM_DecodingEddystoneURL(benchmark::State& state) {
    Bytes frame = hex("10 EB 01 71 75 69 6C 6C 6D 6F 74 65 2D 64 65 6D 6F 00");
    for (auto _ : state) benchmark::DoNotOptimize(Eddystone::fromServiceData(frame));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodingEddystoneURL);

void BM_DecodingCompanyName(benchmark::State& state) {
    AssignedNumbers::companies();
    std::uint16_t id = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(AssignedNumbers::companyName(id));
        id = static_cast<std::uint16_t>((id + 97) % 0x1200);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodingCompanyName);

void BM_DecodingServiceName(benchmark::State& state) {
    const std::vector<std::string> uuids{"180F", "feaa", "0000180A-0000-1000-8000-00805F9B34FB", "FD5A",
                                         "6E400001-B5A3-F393-E0A9-E50E24DCCA9E", "FFFF"};
    AssignedNumbers::services();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(AssignedNumbers::serviceName(uuids[i]));
        i = (i + 1) % uuids.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodingServiceName);

// What the first lookup of a run pays, measured without the function-local cache.
void BM_DecodingParseCompanyTable(benchmark::State& state) {
    std::string text;
    for (const auto& [id, name] : AssignedNumbers::companies()) {
        text += hex4(id);
        text += '\t';
        text += name;
        text += '\n';
    }
    std::function<std::optional<std::uint16_t>(std::string_view)> key =
        [](std::string_view piece) -> std::optional<std::uint16_t> {
        std::uint16_t value = 0;
        auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value, 16);
        if (error != std::errc{} || end != piece.data() + piece.size()) return std::nullopt;
        return value;
    };
    for (auto _ : state) benchmark::DoNotOptimize(AssignedNumbers::parse<std::uint16_t>(text, key));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(AssignedNumbers::companies().size()));
}
BENCHMARK(BM_DecodingParseCompanyTable);

}  // namespace
