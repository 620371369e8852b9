#pragma once

// What every socket client of the link shares: its time and size limits, and how it files the
// bytes of a reply into the reply area.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace kstbell {

// Waits run in slices of at most this long and pump window events between slices.
inline constexpr int kWaitSliceMs = 10;
// How long a read waits for more of a reply that arrives in pieces.
inline constexpr int kQuietGapMs = 10;
// Upper bounds on reading a reply, however the device behaves.
inline constexpr std::size_t kMaxDrainBytes = 1 << 20;
inline constexpr int kMaxReadMs = 2000;
// How long a write may make no progress before it fails instead of hanging the program.
inline constexpr int kWriteStallMs = 10000;

// Keeps the bytes of a reply that fit the reply area and drops the rest.
class TReplyCollector {
  public:
    TReplyCollector(std::span<std::uint8_t> into, std::size_t& count) : into_(into), count_(count) {
        count_ = 0;
    }
    // False once so much has been dropped that reading should stop.
    bool Take(const void* bytes, std::size_t n) {
        const std::size_t kept = std::min(n, into_.size() - count_);
        std::memcpy(into_.data() + count_, bytes, kept);
        count_ += kept;
        dropped_ += n - kept;
        return dropped_ <= kMaxDrainBytes;
    }

  private:
    std::span<std::uint8_t> into_;
    std::size_t& count_;
    std::size_t dropped_ = 0;
};

}  // namespace kstbell
