#pragma once

// What every verb gets: the command line, the devices, the engine's settings, the report and
// the program's surroundings.

#include <ostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/report.h"
#include "cli/run.h"
#include "site/session_blocks.h"

namespace kstbell::cli {

struct TVerbContext {
    const TCommandLine& Line;
    const TRunEnv& Env;
    TReport& Report;
    std::ostream& Err;
    IHostNetworkSource& Network;
    site::TSessionOptions Engine;
    // The devices the verb is about, repeats removed, in the order given (not for scan).
    std::vector<std::string> Devices;
    // Whether the devices are checked to be on this PC's Wi-Fi (no -d/--devices, or
    // --check-wifi).
    bool CheckWifi = false;

    bool Stopped() const { return Env.Stop && Env.Stop->load(); }
    // Runs job on every device (see ForEachDevice).
    void ForEach(const site::TDeviceJob& job) {
        site::ForEachDevice(Devices, Engine, Network, job, Env.Stop);
    }
};

// Each verb reports every device's result and returns the exit code.
int RunScan(TVerbContext& c);
int RunInfo(TVerbContext& c);
int RunStatus(TVerbContext& c);
int RunWatch(TVerbContext& c);
int RunRelay(TVerbContext& c);
int RunFindMe(TVerbContext& c);
int RunConfigShow(TVerbContext& c);
int RunConfigSave(TVerbContext& c);
int RunConfigDiff(TVerbContext& c);
int RunConfigApply(TVerbContext& c);
int RunSet(TVerbContext& c);
int RunWifiMode(TVerbContext& c);
int RunReboot(TVerbContext& c);
int RunResetDefault(TVerbContext& c);
int RunFirmware(TVerbContext& c);
#ifdef KSTBELL_SITE_LOG
int RunSiteLog(TVerbContext& c);
#endif

// Asks before a verb changes the devices (see AskConsent). Kept devices: true. Otherwise tells
// why on the error stream and sets exitCode: 2 without a terminal and --yes, 1 when declined.
bool ConsentTo(TVerbContext& c, const std::string& question, int& exitCode);
// "127.0.0.1", "127.0.0.1 and 127.0.0.2", "127.0.0.1 and 4 more devices".
std::string DeviceListText(const std::vector<std::string>& devices);

}  // namespace kstbell::cli
