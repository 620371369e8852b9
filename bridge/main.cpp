// kstbell-bridge: the horns on an MQTT broker, with discovery for home and building automation.

#include <signal.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "bridge/bridge.h"
#include "bridge/command_line.h"
#include "mqtt/config_file.h"
#include "mqtt/secret_files.h"
#include "sim/simulated_site.h"

namespace {

using namespace kstbell::bridge;
namespace mqtt = kstbell::mqtt;

int Refuse(const std::string& why, bool usage = false) {
    std::fprintf(stderr, "kstbell-bridge: %s\n", why.c_str());
    if (usage) std::fputs("Run kstbell-bridge --help for the options.\n", stderr);
    return kBadConfiguration;
}

}  // namespace

int main(int argc, char** argv) {
    // Every thread started from here on leaves these signals to the wait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    TCommandLine line;
    if (const auto exit = ParseProgramLine({argv + 1, argv + argc}, line, std::cout, std::cerr))
        return *exit;
    std::string error;
    mqtt::TBridgeConfig config;
    if (!line.ConfigPath.empty() && !mqtt::LoadConfigFile(line.ConfigPath, config, error))
        return Refuse(error);
    ApplyCommandLine(line, config);
    if (!mqtt::CheckConfig(config, error))
        return Refuse(line.ConfigPath.empty() ? error : line.ConfigPath + ": " + error);
    std::string password;
    if (!config.PasswordFile.empty() &&
        !mqtt::ReadPasswordFile(config.PasswordFile, password, error))
        return Refuse(error);

    const mqtt::TLog log = mqtt::StderrLog();
    for (const auto& warning : mqtt::LooseSecretFiles(config))
        log("warning: " + warning);
    std::unique_ptr<kstbell::sim::TSimulatedSite> site;
    std::vector<mqtt::THornEntry> horns;
    if (line.Simulate) {
        kstbell::sim::TSiteOptions options;
        options.Horns.BindAddress = "127.0.78.1";
        options.Horns.Port = 0;
        options.Count = line.Simulate;
        try {
            site = std::make_unique<kstbell::sim::TSimulatedSite>(options);
            site->Start();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kstbell-bridge: the simulated horns did not start: %s\n",
                         e.what());
            return kBridgeExitFailed;
        }
        config.DevicePort = site->Port();
        for (std::size_t i = 0; i < site->Count(); ++i)
            horns.push_back({site->Address(i), {}, {}});
        log(std::to_string(site->Count()) + " simulated horn(s) from " + site->Address(0) +
            " on port " + std::to_string(site->Port()));
    } else {
        if (!mqtt::ExpandDevices(config.Devices, config.MaxHorns, horns, error))
            return Refuse(error);
        if (horns.empty())
            return Refuse(
                "no horns to bridge: give -d ADDRESS, [devices] in --config FILE, or "
                "--simulate N",
                true);
    }

    TBridge bridge(config, horns, password, log);
    if (!bridge.Start(error)) return Refuse(error);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    log(std::string(signal == SIGTERM ? "SIGTERM" : "SIGINT") + ": publishing offline, stopping");
    bridge.Stop();
    if (site) site->Stop();
    return 0;
}
