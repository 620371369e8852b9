#pragma once

#include <cstdint>
#include <numeric>
#include <span>

namespace kstbell {

// The checksum of every transfer: the sum of all bytes as unsigned values, from 0, in 64 bits.
// Requests carry its low 32 bits.
inline std::uint64_t ByteSum(std::span<const std::uint8_t> bytes) {
    return std::accumulate(bytes.begin(), bytes.end(), std::uint64_t{0});
}

}  // namespace kstbell
