#include "platform/backends.h"
#include "platform/host_locks_windows.h"
#include "platform/survey_simulated.h"
#include "platform/survey_windows.h"
#include "platform/tcp_client_winsock.h"

namespace kstbell {

std::unique_ptr<ITcpClient> MakeTcpClient(IEventPump& pump) {
    return std::make_unique<TWinsockTcpClient>(pump);
}

std::unique_ptr<IHostNetworkSource> MakeHostNetworkSource() {
    return std::make_unique<TWindowsHostNetwork>();
}

std::unique_ptr<IHostNetworkSource> MakeSimulatedHostNetwork(std::string wifiAddress,
                                                             std::array<std::uint8_t, 6> bssid) {
    return std::make_unique<TSimulatedHostNetwork>(std::move(wifiAddress), bssid);
}

IHostLocks& HostLocksOfThisPc() {
    static TWindowsHostLocks locks;
    return locks;
}

IHostLocks& StandingHostLocksOfThisPc() {
    return HostLocksOfThisPc();
}

}  // namespace kstbell
