#include "cli/run.h"

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>

#include "cli/exit_codes.h"
#include "cli/simulation.h"
#include "cli/verb_context.h"
#include "cli/wifi_check.h"
#include "platform/backends.h"
#include "site/device_list.h"

namespace kstbell::cli {

namespace {

constexpr const char* kDefaultDevice = "192.168.77.1";
constexpr int kMaxReplyWaitMs = 1000;

using TVerbFunction = int (*)(TVerbContext&);

const std::map<std::string, TVerbFunction>& Verbs() {
    static const std::map<std::string, TVerbFunction> verbs{
        {"scan", RunScan},
        {"info", RunInfo},
        {"status", RunStatus},
        {"watch", RunWatch},
        {"relay", RunRelay},
        {"find-me", RunFindMe},
        {"config show", RunConfigShow},
        {"config save", RunConfigSave},
        {"config diff", RunConfigDiff},
        {"config apply", RunConfigApply},
        {"set location", RunSet},
        {"set modbus", RunSet},
        {"set ap", RunSet},
        {"set station", RunSet},
        {"set static-ip", RunSet},
        {"wifi-mode", RunWifiMode},
        {"reboot", RunReboot},
        {"reset-default", RunResetDefault},
        {"firmware", RunFirmware},
#ifdef KSTBELL_SITE_LOG
        {"site log", RunSiteLog},
#endif
    };
    return verbs;
}

// The devices of the command: -d and --devices, else the default one. False, with the reason,
// for an address, range or file that cannot be used.
bool ResolveDevices(const TCommandLine& line, const std::string& fallback,
                    std::vector<std::string>& devices, bool& defaulted, std::string& error) {
    for (const auto& target : line.Devices)
        if (!site::ExpandTarget(target, devices, error)) return false;
    if (!line.DeviceFile.empty() && !site::ReadDeviceFile(line.DeviceFile, devices, error))
        return false;
    defaulted = line.Devices.empty() && line.DeviceFile.empty();
    if (defaulted) devices.push_back(fallback);
    site::RemoveRepeats(devices);
    if (devices.empty()) {
        error = "the device list " + line.DeviceFile + " names no device";
        return false;
    }
    return true;
}

}  // namespace

int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
        const TRunEnv& env) {
    TCommandLine line;
    int exitCode = kExitOk;
    if (!ParseCommandLine(argc, argv, line, out, err, exitCode)) return exitCode;
    TReport report(out, err, line.Json, line.Quiet);
    if (!line.SimState.empty() && !line.Simulate) {
        report.Error("--sim-state needs --simulate");
        return kExitUsage;
    }

    std::optional<TCliSimulation> simulation;
    std::unique_ptr<IHostNetworkSource> hostNetwork;
    IHostNetworkSource* network = nullptr;
    if (line.Simulate) {
        try {
            simulation.emplace(line.SimState);
        } catch (const std::exception& e) {
            report.Error(std::string("the simulated horn cannot start: ") + e.what());
            return kExitFailed;
        }
        network = simulation->Network.get();
    } else {
        hostNetwork = env.MakeNetwork ? env.MakeNetwork() : MakeHostNetworkSource();
        network = hostNetwork.get();
    }

    site::TSessionOptions engine;
    engine.Parallel = line.Parallel;
    engine.Port = static_cast<std::uint16_t>(line.Port);
    if (simulation && !line.PortGiven) engine.Port = simulation->Port();
    engine.ConnectTimeoutMs = line.TimeoutMs;
    engine.ReplyWaitMs = std::min(line.TimeoutMs, kMaxReplyWaitMs);
    engine.Stop = env.Stop;
    // The simulated horn lives in this process: no other program can talk to it.
    if (simulation) engine.HostLocks = nullptr;

    TVerbContext context{line, env, report, err, *network, engine, {}, false};
    // scan takes its own addresses; site log reads the service's database, not horns.
    if (line.Verb != "scan" && line.Verb != "site log") {
        bool defaulted = false;
        std::string error;
        if (!ResolveDevices(line, simulation ? kSimulatedDevice : kDefaultDevice, context.Devices,
                            defaulted, error)) {
            report.Error(error);
            return kExitUsage;
        }
        context.CheckWifi = defaulted || line.CheckWifi;
        if (context.CheckWifi) {
            KeepDevicesOnWifi(context.Devices, engine.Port, *network, report);
            if (context.Devices.empty()) return report.ExitCode();
        }
    }
    const auto verb = Verbs().find(line.Verb);
    if (verb == Verbs().end()) {
        report.Error("unknown verb " + line.Verb);
        return kExitUsage;
    }
    return verb->second(context);
}

}  // namespace kstbell::cli
