#include "app/simulation.h"

#include <stdexcept>
#include <string>

#include "link/device_link.h"

namespace kstbell {

namespace {

sim::TSimOptions Options(std::uint16_t port) {
    sim::TSimOptions options;
    options.BindAddress = std::string(kSimulatedNetBase) + "1";
    options.Port = port;
    return options;
}

}  // namespace

TSimulation::TSimulation()
    : Network(std::string(kSimulatedNetBase) + "23", {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01}) {}

void TSimulation::Start() {
    try {
        Device = std::make_unique<sim::TDeviceSimulator>(Options(kDefaultDevicePort));
        Device->Start();
    } catch (const std::runtime_error&) {
        Device = std::make_unique<sim::TDeviceSimulator>(Options(0));
        Device->Start();  // a failure here reaches the caller
    }
}

void TSimulation::Wire(TContext& ctx) const {
    ctx.Locate.DeviceNetPrefix = kSimulatedNetBase;
    ctx.Link.DeviceIp = std::string(kSimulatedNetBase) + "1";
    ctx.Link.DevicePort = Device ? Device->Port() : kDefaultDevicePort;
    ctx.Form1.SimulatedMarker = kSimulatedMarker;
}

}  // namespace kstbell
