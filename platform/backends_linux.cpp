#include "platform/backends.h"
#include "platform/host_locks_posix.h"
#include "platform/survey_linux.h"
#include "platform/survey_simulated.h"
#include "platform/tcp_client_posix.h"

namespace kstbell {

std::unique_ptr<ITcpClient> MakeTcpClient(IEventPump& pump) {
    return std::make_unique<TPosixTcpClient>(pump);
}

std::unique_ptr<IHostNetworkSource> MakeHostNetworkSource() {
    return std::make_unique<TLinuxHostNetwork>();
}

std::unique_ptr<IHostNetworkSource> MakeSimulatedHostNetwork(std::string wifiAddress,
                                                             std::array<std::uint8_t, 6> bssid) {
    return std::make_unique<TSimulatedHostNetwork>(std::move(wifiAddress), bssid);
}

IHostLocks& HostLocksOfThisPc() {
    static TPosixHostLocks locks{DefaultLockFolders()};
    return locks;
}

IHostLocks& StandingHostLocksOfThisPc() {
    static TPosixHostLocks locks{DefaultLockFolders(), true};
    return locks;
}

}  // namespace kstbell
