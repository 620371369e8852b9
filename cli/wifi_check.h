#pragma once

// The desktop program's check that this PC is on the horn's Wi-Fi network, for the devices of a
// command.

#include <cstdint>
#include <string>
#include <vector>

#include "cli/report.h"
#include "ports/host_network_source.h"

namespace kstbell::cli {

// Checks once per device network (the address's first three parts); every device on a network
// this PC is not on is reported as not_located and dropped from devices.
void KeepDevicesOnWifi(std::vector<std::string>& devices, std::uint16_t port,
                       IHostNetworkSource& network, TReport& report);

}  // namespace kstbell::cli
