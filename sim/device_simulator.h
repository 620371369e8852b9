#pragma once

// A TCP server that stands in for one horn: one request per connection, the device's replies,
// its flash files, relay, input, firmware store and restart. It is a site of one horn (see
// simulated_site.h) and runs on a thread of its own, so that tests and the desktop program can
// start it in-process.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_types.h"
#include "sim/simulated_site.h"

namespace kstbell::sim {

class TDeviceSimulator {
  public:
    // The state folder, if any, holds the horn's files directly (StateDir/local/...).
    explicit TDeviceSimulator(TSimOptions options);
    ~TDeviceSimulator() = default;  // stops the server
    TDeviceSimulator(const TDeviceSimulator&) = delete;
    TDeviceSimulator& operator=(const TDeviceSimulator&) = delete;

    // Binds, listens and starts serving on a thread. Throws std::runtime_error with the
    // reason when the address cannot be bound.
    void Start() { site_.Start(); }
    // Stops serving and joins the thread; idempotent.
    void Stop() { site_.Stop(); }
    // See TSimulatedSite::FinishExchanges.
    bool FinishExchanges(std::chrono::milliseconds limit) { return site_.FinishExchanges(limit); }
    // The port actually bound (the ephemeral one when options asked for 0).
    std::uint16_t Port() const { return site_.Port(); }

    void SetFaults(const TSimFaults& faults) { site_.SetFaults(0, faults); }
    void SetInput(std::uint8_t input) { site_.SetInput(0, input); }
    // The newest requests served, oldest first (see TRequestRecord for the bounds).
    std::vector<TSimRequest> Requests() const { return site_.Requests(0); }
    void ClearRequests() { site_.ClearRequests(0); }
    TSimSnapshot Snapshot() const { return site_.Snapshot(0); }
    // A flash file's bytes, or nothing when it does not exist.
    std::optional<std::vector<std::uint8_t>> ReadFile(const std::string& path) const {
        return site_.ReadFile(0, path);
    }
    std::map<std::string, std::vector<std::uint8_t>> Files() const { return site_.Files(0); }
    // Restarts the device: files under "/local/" and the firmware image take effect.
    void Restart() { site_.Restart(0); }

  private:
    TSimulatedSite site_;
};

}  // namespace kstbell::sim
