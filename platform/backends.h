#pragma once

// The backends for the operating system being built, chosen here and nowhere else.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "ports/host_locks.h"
#include "ports/host_network_source.h"
#include "ports/host_ports.h"
#include "ports/tcp_client.h"

namespace kstbell {

// A TCP client on the system's sockets; its waits pump the given events.
std::unique_ptr<ITcpClient> MakeTcpClient(IEventPump& pump);
// This PC's adapters and Wi-Fi interfaces, as the system reports them.
std::unique_ptr<IHostNetworkSource> MakeHostNetworkSource();
// A host whose one Wi-Fi interface, at wifiAddress, is joined to an access point with the
// given BSSID: what the simulated device is reached through.
std::unique_ptr<IHostNetworkSource> MakeSimulatedHostNetwork(std::string wifiAddress,
                                                             std::array<std::uint8_t, 6> bssid);
// The horns' locks that every kstbell program on this PC shares, in the folder for them (see
// the backend); one for the whole process, set up on first use.
IHostLocks& HostLocksOfThisPc();
// The same locks for a program that polls its horns all the time: where the backend can, a
// horn's shared hold stays between requests for as long as no other program opens its lock, so
// that a poll touches no lock file while the program is alone (see the backend).
IHostLocks& StandingHostLocksOfThisPc();

}  // namespace kstbell
