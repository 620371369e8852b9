#include "cli/run.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "cli/exit_codes.h"
#include "cli/simulation.h"
#include "cli/verb_context.h"
#include "cli/wifi_check.h"
#include "platform/backends.h"
#include "site/device_list.h"

#ifdef KSTBELL_SERVICE_CLIENT
#include "cli/service_module.h"
#include "cli/service_setup.h"
#endif

namespace kstbell::cli {

namespace {

constexpr const char* kDefaultDevice = "192.168.77.1";
constexpr int kMaxReplyWaitMs = 1000;

#ifdef KSTBELL_SERVICE_CLIENT
// The network of a verb that asks the site service, which surveys nothing.
class TNoHostNetwork final : public IHostNetworkSource {
  public:
    int SurveyAdapters(TSurveyTables& /*tables*/, std::string& problem) override {
        problem = "not surveyed";
        return -1;
    }
    int SurveyWifiInterfaces(TSurveyTables& /*tables*/) override { return 1; }
};
#endif

// The devices of the command: -d and --devices, else the default one. False, with the reason,
// for an address, range or file that cannot be used, or more devices than --max-devices.
bool ResolveDevices(const TGlobalOptions& line, const std::string& fallback,
                    std::vector<std::string>& devices, bool& defaulted, std::string& error) {
    const site::TDeviceLimit limit = DeviceLimit(line);
    for (const auto& target : line.Devices)
        if (!site::ExpandTarget(target, devices, error, limit)) return false;
    if (!line.DeviceFile.empty() && !site::ReadDeviceFile(line.DeviceFile, devices, error, limit))
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

std::string UserStateDir() {
    namespace fs = std::filesystem;
#ifdef _WIN32
    const char* local = std::getenv("LOCALAPPDATA");
    return local && *local ? (fs::path(local) / "kstbell").string() : std::string();
#else
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        return (fs::path(state) / "kstbell").string();
    const char* home = std::getenv("HOME");
    return home && *home ? (fs::path(home) / ".local" / "state" / "kstbell").string()
                         : std::string();
#endif
}

int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
        const TRunEnv& env) {
    TCommandLine parsed;
    int exitCode = kExitOk;
    if (!ParseCommandLine(argc, argv, parsed, out, err, exitCode)) return exitCode;
    const TGlobalOptions& line = parsed.Global;
    TVerb& verb = *parsed.Verb;
    TReport report(out, err, line.Json, line.Quiet);
    if (!line.SimState.empty() && !line.Simulate) {
        report.Error("--sim-state needs --simulate");
        return kExitUsage;
    }
#ifdef KSTBELL_SERVICE_CLIENT
    if (std::string error; !CheckServiceOptions(line, verb.Info(), error)) {
        report.Error(error);
        return kExitUsage;
    }
    if (verb.Info().Target == TVerbTarget::Service) {
        // The service reaches the horns itself: no simulation, network survey or engine here.
        // Its client is in the module of the site service's verbs, loaded now.
        std::string error;
        const TServiceModule* module = ServiceModule(error);
        if (!module) {
            report.Error(error);
            return kExitFailed;
        }
        const auto service = MakeServiceClient(line, *module, report, error);
        if (!service) {
            report.Error(error);
            return kExitUsage;
        }
        TNoHostNetwork none;
        const TPendingStore pending({}, 0);
        TVerbContext context{line, verb.Info().Name, env, report, err,          none,
                             {},   pending,          {},  false,  service.get()};
        return verb.Run(context);
    }
#endif

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

    // Each run of the simulated horn starts it afresh from its files: nothing waits there.
    const TPendingStore pending(simulation ? std::string() : env.StateDir, engine.Port);
    TVerbContext context{line,     verb.Info().Name, env,     report, err,
                         *network, engine,           pending, {},     false};
    if (verb.Info().Target == TVerbTarget::Devices) {
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
    return verb.Run(context);
}

}  // namespace kstbell::cli
