#pragma once

#include <memory>

#include "ports/host_network_source.h"
#include "sim/device_simulator.h"

namespace kstbell {

struct TContext;

inline constexpr const char* kSimulatedNetBase = "127.0.77.";
inline constexpr const char* kSimulatedMarker = "simulated device";

// The pieces that stand in for the horn and for this PC's Wi-Fi when the program runs with
// --simulate: a simulator on 127.0.77.1 and a Wi-Fi interface at 127.0.77.23 joined to it.
struct TSimulation {
    TSimulation();
    // Starts the simulator on port 13577, or on a free port when that one is taken.
    void Start();
    // Points the link at the simulator and marks the window.
    void Wire(TContext& ctx) const;

    std::unique_ptr<sim::TDeviceSimulator> Device;
    std::unique_ptr<IHostNetworkSource> Network;
};

}  // namespace kstbell
