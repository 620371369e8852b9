#pragma once

// What every verb gets: the global options, the devices, the engine's settings, the report and
// the program's surroundings.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/pending_store.h"
#include "cli/report.h"
#include "cli/run.h"
#include "site/session_blocks.h"

namespace kstbell::cli {

class TServiceClient;

struct TVerbContext {
    const TGlobalOptions& Global;
    // The verb's name as typed ("config apply").
    std::string_view VerbName;
    const TRunEnv& Env;
    TReport& Report;
    std::ostream& Err;
    IHostNetworkSource& Network;
    site::TSessionOptions Engine;
    // What was written to each device since it last restarted.
    const TPendingStore& Pending;
    // The devices the verb is about, repeats removed, in the order given (verbs that work on
    // devices only).
    std::vector<std::string> Devices;
    // Whether the devices are checked to be on this PC's Wi-Fi (no -d/--devices, or
    // --check-wifi).
    bool CheckWifi = false;
    // The site service's API (verbs of the service only).
    TServiceClient* Service = nullptr;

    bool Stopped() const { return Env.Stop && Env.Stop->load(); }
    // Runs job on every device (see ForEachDevice); after an interrupt, each device that was
    // not started is reported as interrupted with nothing done.
    void ForEach(const site::TDeviceJob& job) { ForEachOf(Devices, job); }
    void ForEachOf(const std::vector<std::string>& devices, const site::TDeviceJob& job);
};

// Counts a transfer as under way while it lives (see TRunEnv::Transfers).
class TTransferMark {
  public:
    explicit TTransferMark(const TRunEnv& env) : transfers_(env.Transfers) {
        if (transfers_) ++*transfers_;
    }
    ~TTransferMark() {
        if (transfers_) --*transfers_;
    }
    TTransferMark(const TTransferMark&) = delete;
    TTransferMark& operator=(const TTransferMark&) = delete;

  private:
    std::atomic<int>* transfers_;
};

// The message of a device whose wait for its restart an interrupt ended: done, then that.
std::string InterruptedWaiting(const std::string& done);

// Asks before a verb changes the devices (see AskConsent). Kept devices: true. Otherwise tells
// why on the error stream and sets exitCode: 2 without a terminal and --yes, 1 when declined.
bool ConsentTo(TVerbContext& c, const std::string& question, int& exitCode);
// "127.0.0.1", "127.0.0.1 and 127.0.0.2", "127.0.0.1 and 4 more devices".
std::string DeviceListText(const std::vector<std::string>& devices);
// Reports the same failure for every device of the verb (for a person, once).
void FailAll(TVerbContext& c, const TOutcome& o);

}  // namespace kstbell::cli
