#pragma once

// Drives many devices at once: one session per device, a bounded number of them busy at any
// moment, each device on one connection at a time. The command-line tool and the MQTT bridge
// share it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/session.h"
#include "ports/host_network_source.h"
#include "ports/host_ports.h"

namespace kstbell::cli {

struct TEngineOptions {
    std::size_t Parallel = 64;  // devices worked on at once
    std::uint16_t Port = kDefaultDevicePort;
    int ConnectTimeoutMs = kConnectTimeoutMs;
    int ReplyWaitMs = kReplyPolls * kReplyPollMs;
};

class TEngine {
  public:
    // One session per address. The sessions do not check this PC's Wi-Fi: a caller that must
    // checks it once, before (see CheckHostNetwork).
    TEngine(const std::vector<std::string>& addresses, const TEngineOptions& options,
            IHostNetworkSource& network);
    ~TEngine();
    TEngine(const TEngine&) = delete;
    TEngine& operator=(const TEngine&) = delete;

    std::size_t Count() const { return slots_.size(); }
    const std::string& Address(std::size_t i) const;
    TDeviceSession& Session(std::size_t i);

    // Runs job(i) for every device, at most Parallel at once, on worker threads; returns when all
    // are done. A job only touches its own device's session.
    void ForEach(const std::function<void(std::size_t)>& job);
    void ForEach(const std::vector<std::size_t>& which,
                 const std::function<void(std::size_t)>& job);

  private:
    struct TSlot;
    TEngineOptions options_;
    std::vector<std::unique_ptr<TSlot>> slots_;
};

// Checks, as the desktop program does, that this PC has exactly one connected Wi-Fi adapter on
// the network of address. NotLocated, with the reason in message, when it has not.
TOutcome CheckHostNetwork(const std::string& address, std::uint16_t port,
                          IHostNetworkSource& network, std::string& message);

}  // namespace kstbell::cli
