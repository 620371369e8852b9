#include "site/poll_stats.h"

#include <algorithm>

namespace kstbell::site {

TPollStats::TPollStats(std::size_t horns) : last_(horns) {}

void TPollStats::Record(std::size_t horn, std::chrono::nanoseconds took, bool answered,
                        TInstant at) {
    const double seconds = std::chrono::duration<double>(took).count();
    const auto bucket = static_cast<std::size_t>(
        std::lower_bound(kBounds.begin(), kBounds.end(), seconds) - kBounds.begin());
    const std::lock_guard lock(m_);
    ++counts_[bucket];
    sum_ += seconds;
    if (answered && horn < last_.size()) last_[horn] = at;
}

TPollSnapshot TPollStats::Snapshot() const {
    TPollSnapshot s;
    s.Bounds.assign(kBounds.begin(), kBounds.end());
    const std::lock_guard lock(m_);
    s.Counts.assign(counts_.begin(), counts_.end());
    for (const auto c : counts_)
        s.Total += c;
    s.SumSeconds = sum_;
    s.LastAnswered = last_;
    return s;
}

}  // namespace kstbell::site
