#pragma once

// Runs one job per device address on session sets made a block at a time, a bounded number of
// devices at once.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "site/session_set.h"

namespace kstbell::site {

// Sessions are made for a block of this many addresses at a time, so that a large range costs
// no more memory than this many sessions (about 13 KiB each).
inline constexpr std::size_t kSessionBlock = 2048;

using TDeviceJob = std::function<void(const std::string& address, TDeviceSession& session)>;

// Runs job for every address, at most options.Parallel at once, each device on a session of its
// own; returns when all are done. stop, when set, keeps jobs that have not started from
// starting.
void ForEachDevice(const std::vector<std::string>& addresses, const TSessionOptions& options,
                   IHostNetworkSource& network, const TDeviceJob& job,
                   const std::atomic<bool>* stop = nullptr);

}  // namespace kstbell::site
