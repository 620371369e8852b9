#pragma once

// Slows down password guessing, per client address and per user name, in memory. Failures are
// counted over a sliding window; after a few, each further attempt must wait, twice as long
// after each failure up to a cap. An attempt counts as a failure from the moment it is let
// through until it succeeds, so that guesses sent in parallel are counted as they are made.
// IPv6 clients are counted by their /64 network, which one host usually holds whole. Thread
// safe.

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "store/utc_time.h"

namespace kstbell::users {

struct TThrottlePolicy {
    std::chrono::seconds Window = std::chrono::minutes(15);
    int FreePerAddress = 10;  // failures in the window before an address waits
    int FreePerName = 5;      // failures in the window before a name waits
    std::chrono::seconds FirstDelay{1};
    std::chrono::seconds MaxDelay = std::chrono::minutes(5);
    std::size_t MaxKeys = 10000;  // addresses and names remembered at most (the oldest go)
};

class TLoginThrottle {
  public:
    explicit TLoginThrottle(TThrottlePolicy policy = {}) : policy_(policy) {}

    // Before checking a password: the wait left for this address or name, rounded up to whole
    // seconds; zero lets the attempt through and counts it as a failure until Succeeded.
    std::chrono::seconds Attempt(std::string_view address, std::string_view name,
                                 store::TUtcTime now);

    // The attempt let through at `at` was right: it no longer counts, and neither do the
    // name's earlier failures (those of the address do).
    void Succeeded(std::string_view address, std::string_view name, store::TUtcTime at);

    // The wait before the next attempt, for the answer to one that failed.
    std::chrono::seconds Wait(std::string_view address, std::string_view name, store::TUtcTime now);

    // Addresses and names remembered (for tests of the bound).
    std::size_t Keys() const;

  private:
    struct TFailures {
        std::deque<store::TUtcTime> Times;  // oldest first, at most a few past the free ones
    };

    store::TUtcTime ReadyAt(TFailures& failures, int free, store::TUtcTime now) const;
    // When both the address's and the name's keys let the next attempt through.
    store::TUtcTime Ready(const std::string (&keys)[2], store::TUtcTime now);
    TFailures& Entry(const std::string& key, store::TUtcTime now);
    void Forget(store::TUtcTime now);

    TThrottlePolicy policy_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, TFailures> keys_;
};

// The key an address is counted under: an IPv6 address's /64 network, an IPv4 address (also
// one mapped into IPv6) as it is; any other text as it is.
std::string AddressKey(std::string_view address);

}  // namespace kstbell::users
