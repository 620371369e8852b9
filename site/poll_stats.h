#pragma once

// How the site's polls go, for monitoring: how long each poll took (a histogram with fixed
// bounds, as Prometheus keeps one) and when each horn last answered one. Polls record from the
// runner's threads; readers take a copy. Bookkeeping only, under a lock held for a few
// additions.

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "site/horn.h"

namespace kstbell::site {

struct TPollSnapshot {
    // Upper bounds in seconds, ascending; Counts has one more entry, for the slower polls.
    std::vector<double> Bounds;
    std::vector<std::uint64_t> Counts;
    double SumSeconds = 0;
    std::uint64_t Total = 0;
    std::vector<std::optional<TInstant>> LastAnswered;  // per horn
};

class TPollStats {
  public:
    explicit TPollStats(std::size_t horns);

    void Record(std::size_t horn, std::chrono::nanoseconds took, bool answered, TInstant at);
    TPollSnapshot Snapshot() const;

  private:
    static constexpr std::array<double, 10> kBounds = {0.005, 0.01, 0.025, 0.05, 0.1,
                                                       0.25,  0.5,  1,     2.5,  5};
    mutable std::mutex m_;
    std::array<std::uint64_t, kBounds.size() + 1> counts_{};
    double sum_ = 0;
    std::vector<std::optional<TInstant>> last_;
};

}  // namespace kstbell::site
