#include "app/simulation.h"

#include <stdexcept>
#include <string>

#include "platform/backends.h"
#include "shell/context.h"

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
    : Network(MakeSimulatedHostNetwork(std::string(kSimulatedNetBase) + "23",
                                       {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01})) {}

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
    ctx.Session.Locate.DeviceNetPrefix = kSimulatedNetBase;
    ctx.Session.Link.DeviceIp = std::string(kSimulatedNetBase) + "1";
    ctx.Session.Link.DevicePort = Device ? Device->Port() : kDefaultDevicePort;
    ctx.Form1.SimulatedMarker = kSimulatedMarker;
}

}  // namespace kstbell
