#include "sim/request_record.h"

#include <algorithm>

namespace kstbell::sim {

void TRequestRecord::Add(std::span<const std::uint8_t> bytes, bool dataConnection) {
    const std::size_t kept = std::min(bytes.size(), kMaxBytesPerEntry);
    while (!entries_.empty() && (entries_.size() >= kMaxEntries || keptBytes_ + kept > kMaxBytes)) {
        keptBytes_ -= entries_.front().Bytes.size();
        entries_.pop_front();
    }
    entries_.push_back(
        TSimRequest{{bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kept)},
                    dataConnection,
                    bytes.size()});
    keptBytes_ += kept;
}

void TRequestRecord::Clear() {
    entries_.clear();
    keptBytes_ = 0;
}

}  // namespace kstbell::sim
