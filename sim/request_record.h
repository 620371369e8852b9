#pragma once

// The newest requests a simulated horn served, for tests to inspect: a ring of bounded size, so
// that a horn that runs for days or takes many large uploads keeps the same small memory.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace kstbell::sim {

// One request as the simulator received it.
struct TSimRequest {
    // What arrived, cut to TRequestRecord::kMaxBytesPerEntry bytes.
    std::vector<std::uint8_t> Bytes;
    bool DataConnection = false;  // raw file or firmware data, not a frame
    std::size_t Length = 0;       // how many bytes arrived in all
};

class TRequestRecord {
  public:
    static constexpr std::size_t kMaxEntries = 256;
    static constexpr std::size_t kMaxBytesPerEntry = 64 * 1024;
    // Bytes kept over all entries; the oldest entries go first when a new one would pass it.
    static constexpr std::size_t kMaxBytes = 1024 * 1024;

    void Add(std::span<const std::uint8_t> bytes, bool dataConnection);
    std::vector<TSimRequest> All() const { return {entries_.begin(), entries_.end()}; }
    void Clear();

  private:
    std::deque<TSimRequest> entries_;
    std::size_t keptBytes_ = 0;
};

}  // namespace kstbell::sim
