#pragma once

// --simulate: a horn in this process and a Wi-Fi interface joined to it, as the desktop program
// has them, so that every verb can be tried without hardware.

#include <cstdint>
#include <memory>
#include <string>

#include "ports/host_network_source.h"
#include "sim/device_simulator.h"

namespace kstbell::cli {

inline constexpr const char* kSimulatedDevice = "127.0.77.1";
inline constexpr const char* kSimulatedWifiAddress = "127.0.77.23";

struct TCliSimulation {
    // Starts the horn on 127.0.77.1, port 13577 or a free one when that is taken; its flash
    // files are kept in stateDir when one is given. Throws std::runtime_error when it cannot.
    explicit TCliSimulation(const std::string& stateDir);
    // Lets the horn finish every exchange this process began (a file's data is stored after the
    // writer closed its connection), so that nothing written is lost when the program ends.
    ~TCliSimulation();
    TCliSimulation(const TCliSimulation&) = delete;
    TCliSimulation& operator=(const TCliSimulation&) = delete;
    std::uint16_t Port() const { return Device->Port(); }

    std::unique_ptr<sim::TDeviceSimulator> Device;
    std::unique_ptr<IHostNetworkSource> Network;
};

}  // namespace kstbell::cli
