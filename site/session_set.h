#pragma once

// A set of device sessions, one per address, and a pool of workers that keeps its threads to
// run a job on many of them at once. Every program that drives more than one horn builds on it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/session.h"
#include "platform/backends.h"
#include "ports/host_locks.h"
#include "ports/host_network_source.h"
#include "ports/host_ports.h"
#include "site/worker_pool.h"

namespace kstbell::site {

struct TSessionOptions {
    std::size_t Parallel = 64;  // devices worked on at once
    std::uint16_t Port = kDefaultDevicePort;
    int ConnectTimeoutMs = kConnectTimeoutMs;
    int ReplyWaitMs = kReplyPolls * kReplyPollMs;
    // The horns' locks shared with the other kstbell programs on this PC, so that no request
    // lands between a file header and its data; none for horns that only this process sees
    // (a simulated one).
    IHostLocks* HostLocks = &HostLocksOfThisPc();
    // Set when the program stops: a request waiting for another program's transfer gives up.
    const std::atomic<bool>* Stop = nullptr;
};

// Sets up a session made for a program that is given device addresses: the address and port,
// the connection and reply waits, the horns' locks, and no check of this PC's Wi-Fi.
void ConfigureSession(TDeviceSession& session, const std::string& address,
                      const TSessionOptions& options);

class TSessionSet {
  public:
    // One session per address. The sessions do not check this PC's Wi-Fi: a caller that must
    // checks it once, before.
    TSessionSet(const std::vector<std::string>& addresses, const TSessionOptions& options,
                IHostNetworkSource& network);
    ~TSessionSet();
    TSessionSet(const TSessionSet&) = delete;
    TSessionSet& operator=(const TSessionSet&) = delete;

    std::size_t Count() const { return slots_.size(); }
    const std::string& Address(std::size_t i) const;
    TDeviceSession& Session(std::size_t i);
    const TSessionOptions& Options() const { return options_; }

    // Runs job(i) for every device, at most Parallel at once, on workers that stay for the
    // next call; returns when all are done. A job only touches its own device's session.
    void ForEach(const std::function<void(std::size_t)>& job);
    void ForEach(const std::vector<std::size_t>& which,
                 const std::function<void(std::size_t)>& job);

  private:
    struct TSlot;
    TSessionOptions options_;
    std::vector<std::unique_ptr<TSlot>> slots_;
    std::mutex poolMutex_;
    std::unique_ptr<TWorkerPool> pool_;
};

}  // namespace kstbell::site
