#pragma once

// One simulated horn as the device behaves, without any socket: it executes requests, keeps its
// flash files, relay, input, firmware and restart count, takes uploads announced by a file
// header, and records the newest requests it served. Not thread-safe: the site serialises it.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/flash_store.h"
#include "sim/relay_log.h"
#include "sim/replies.h"
#include "sim/request_parser.h"
#include "sim/request_record.h"
#include "sim/running_config.h"
#include "sim/sim_faults.h"
#include "sim/sim_log.h"
#include "sim/sim_types.h"
#include "sim/site_addresses.h"

namespace kstbell::sim {

using TSimClock = std::chrono::steady_clock;

// What sets one horn apart from the others of its site.
struct THornSetup {
    TIpv4 ReportedAddress{};  // put in the information reply
    std::array<std::uint8_t, 6> Mac{};
    std::uint8_t Model = 186;
    std::string StateDir;  // flash files kept here across runs; empty = in memory
    TSimFaults Faults;
    // Where changes of the relay are written, with this horn's address; null for nowhere.
    TRelayLog* RelayLog = nullptr;
    std::string Address;
};

// A file header that was accepted and waits for its data connection from the same client.
struct TPendingUpload {
    std::string Path;
    std::uint32_t Length = 0;
    std::uint32_t Sum = 0;
    std::uint32_t Client = 0;  // IPv4 address of the client that sent the header
    TSimClock::time_point Announced;
};

class THorn {
  public:
    THorn(const THornSetup& setup, TSimLog log);
    THorn(const THorn&) = delete;  // its flash reports through this horn's log
    THorn& operator=(const THorn&) = delete;

    // Loads the flash files from the state folder (throws std::runtime_error when it cannot be
    // used) and boots.
    void Boot();
    // Boots as the device does after power comes back: runs the image in flash, reads the
    // configuration files; relay, tone and a waiting upload are gone. Not counted as a restart.
    void PowerOn();
    // A restart by command: counted, then as PowerOn.
    void Restart();

    // Executes a complete request from client; the reply, or nothing for the requests the
    // device does not answer.
    std::optional<std::vector<std::uint8_t>> Execute(const TParsedRequest& request,
                                                     std::uint32_t client);
    // The upload a new connection from client carries, if one waits for it (and has not
    // expired); it waits no longer then.
    std::optional<TPendingUpload> TakeUpload(std::uint32_t client, TSimClock::time_point now);
    // Whether an accepted header still waits for its data connection.
    bool AwaitsData(TSimClock::time_point now) const;
    // Stores the data of a completed data connection (exactly the announced length) when its
    // byte sum matches the header's and it fits and saves; true when stored. Records the data
    // either way.
    bool FinishUpload(const TPendingUpload& upload, std::vector<std::uint8_t> data);
    // Records the bytes of a data connection that broke off.
    void AbandonUpload(const TPendingUpload& upload, std::span<const std::uint8_t> data,
                       const char* how);

    void Record(std::span<const std::uint8_t> bytes, bool dataConnection) {
        record_.Add(bytes, dataConnection);
    }
    std::vector<TSimRequest> Requests() const { return record_.All(); }
    void ClearRequests() { record_.Clear(); }

    const TSimFaults& Faults() const { return faults_; }
    void SetFaults(const TSimFaults& faults) { faults_ = faults; }
    void SetInput(std::uint8_t input) { live_.Input = input; }
    TSimSnapshot Snapshot() const;
    const TFlashStore& Flash() const { return flash_; }
    const TSimLog& Log() const { return log_; }

  private:
    std::optional<std::vector<std::uint8_t>> AcceptHeader(const TParsedRequest& request,
                                                          std::uint32_t client);
    std::optional<std::vector<std::uint8_t>> KillFile(const TParsedRequest& request);
    std::vector<std::uint8_t> KillConfig();
    std::vector<std::uint8_t> SetWifiMode(const TParsedRequest& request);
    std::vector<std::uint8_t> SetWebLoginKey(const TParsedRequest& request);
    void SetRelay(std::uint8_t relay);

    TSimLog log_;
    TRelayLog* relayLog_;
    std::string address_;
    TFlashStore flash_;
    TRunningConfig running_;
    TLiveState live_;
    TSimFaults faults_;
    std::uint8_t tone_ = 0;
    int locatorCount_ = 0;
    int restartCount_ = 0;
    std::string webLoginKey_;
    std::optional<TPendingUpload> pending_;
    TRequestRecord record_;
};

}  // namespace kstbell::sim
