#pragma once

// A simulated site: any number of horns in one process, on consecutive IPv4 addresses and one
// port, each with its own MAC address, flash files, state and fault switches. One thread runs
// one event loop for all of them: each horn serves one connection at a time, as the device
// does, and no client or horn ever waits for another horn.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_types.h"

namespace kstbell::sim {

struct TSiteOptions {
    // What every horn starts with. BindAddress is the first horn's address, the others follow
    // it (see ConsecutiveAddresses: host parts 0 and 255 are skipped); a ReportedAddress is
    // counted up the same way.
    TSimOptions Horns;
    std::size_t Count = 1;
    // StateDir holds one folder per horn, named by its address (DIR/127.0.78.1/local/...).
    // Off, the one horn of the site keeps its files in StateDir itself.
    bool FolderPerHorn = true;
    // The first horn's MAC is this many further on (see HornMac), so that two sites can serve
    // one set of horns without sharing a MAC.
    std::size_t MacOffset = 0;
};

class TSimulatedSite {
  public:
    // Throws std::invalid_argument when Count is 0, or when a site of several horns has no
    // valid first address or would run past the last IPv4 address.
    explicit TSimulatedSite(TSiteOptions options);
    ~TSimulatedSite();  // stops serving
    TSimulatedSite(const TSimulatedSite&) = delete;
    TSimulatedSite& operator=(const TSimulatedSite&) = delete;

    // Raises the open-descriptor limit as far as needed and allowed, loads every horn's files,
    // binds every running horn and starts the event loop. Throws std::runtime_error with the
    // reason when the process may not open enough descriptors (before any state folder is
    // made), a state folder cannot be used, or an address cannot be bound.
    void Start();
    // Serves until every exchange a client has begun is over: no connection waiting to be
    // accepted or read, no request or reply under way, no data phase running and no file header
    // waiting for its data. For a process that ends: what its clients sent is then stored. At
    // most limit; true when everything was over in time.
    bool FinishExchanges(std::chrono::milliseconds limit);
    // Stops serving and joins the loop; idempotent.
    void Stop();

    std::size_t Count() const;
    std::string Address(std::size_t horn) const;
    // The port every horn listens on (the ephemeral one when the options asked for 0).
    std::uint16_t Port() const;

    // Per horn, numbered from 0; std::out_of_range for a number past the last horn.
    void SetFaults(std::size_t horn, const TSimFaults& faults);
    void SetInput(std::size_t horn, std::uint8_t input);
    TSimSnapshot Snapshot(std::size_t horn) const;
    // A flash file's bytes, or nothing when it does not exist.
    std::optional<std::vector<std::uint8_t>> ReadFile(std::size_t horn,
                                                      const std::string& path) const;
    std::map<std::string, std::vector<std::uint8_t>> Files(std::size_t horn) const;
    // The newest requests the horn served, oldest first (see TRequestRecord for the bounds).
    std::vector<TSimRequest> Requests(std::size_t horn) const;
    void ClearRequests(std::size_t horn);
    // Restarts the horn: files under "/local/" and the firmware image take effect.
    void Restart(std::size_t horn);
    // Switches the horn off: its connections are reset and new ones refused. Its files stay.
    void StopHorn(std::size_t horn);
    // Switches it on again: it boots from its flash (relay off, not counted as a restart) and
    // listens again. Throws std::runtime_error when its address cannot be bound.
    void StartHorn(std::size_t horn);
    bool HornRunning(std::size_t horn) const;

  private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

}  // namespace kstbell::sim
