#include "cli/simulation.h"

#include <stdexcept>

#include "platform/backends.h"

namespace kstbell::cli {

namespace {

constexpr std::uint16_t kDevicePort = 13577;

std::unique_ptr<sim::TDeviceSimulator> StartHorn(std::uint16_t port, const std::string& stateDir) {
    sim::TSimOptions options;
    options.BindAddress = kSimulatedDevice;
    options.Port = port;
    options.StateDir = stateDir;
    auto horn = std::make_unique<sim::TDeviceSimulator>(options);
    horn->Start();
    return horn;
}

}  // namespace

TCliSimulation::TCliSimulation(const std::string& stateDir)
    : Network(
          MakeSimulatedHostNetwork(kSimulatedWifiAddress, {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01})) {
    try {
        Device = StartHorn(kDevicePort, stateDir);
    } catch (const std::runtime_error&) {
        Device = StartHorn(0, stateDir);  // a failure here reaches the caller
    }
}

TCliSimulation::~TCliSimulation() {
    constexpr std::chrono::milliseconds kFinishWithin{3000};
    if (Device) Device->FinishExchanges(kFinishWithin);
}

}  // namespace kstbell::cli
