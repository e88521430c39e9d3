#include "core/activity/surge_event.h"

#include <array>
#include <random>

namespace quillmote {

Uuid randomUuid() {
    // Seeded once per thread from the system's entropy; a full 256-bit seed so two
    // processes started together never share a sequence.
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::array<std::uint32_t, 8> seed;
        for (auto& word : seed) word = device();
        std::seed_seq sequence(seed.begin(), seed.end());
        return std::mt19937_64(sequence);
    }();

    Uuid uuid;
    for (std::size_t i = 0; i < uuid.bytes.size(); i += 8) {
        std::uint64_t word = generator();
        for (std::size_t j = 0; j < 8; ++j) uuid.bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
    }
    uuid.bytes[6] = static_cast<std::uint8_t>((uuid.bytes[6] & 0x0F) | 0x40);  // version 4
    uuid.bytes[8] = static_cast<std::uint8_t>((uuid.bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return uuid;
}

}  // namespace quillmote
