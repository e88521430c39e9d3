#pragma once

#include <cstdint>

#include "core/sightings/hex.h"

namespace quillmote {

// The unsigned number in the `size` bytes (at most 8) from `at`, which the caller has
// made sure lie inside `bytes`.
inline std::uint64_t numberAt(ByteView bytes, std::size_t at, std::size_t size, bool bigEndian) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value = value << 8 | bytes[at + (bigEndian ? i : size - 1 - i)];
    return value;
}

}  // namespace quillmote
