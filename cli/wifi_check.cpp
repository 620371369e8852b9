#include "cli/wifi_check.h"

#include <map>

#include "cli/engine.h"
#include "protocol/address_text.h"

namespace kstbell::cli {

void KeepDevicesOnWifi(std::vector<std::string>& devices, std::uint16_t port,
                       IHostNetworkSource& network, TReport& report) {
    std::map<std::string, TOutcome> byNetwork;
    std::vector<std::string> kept;
    for (const auto& device : devices) {
        const std::string prefix = ParseDeviceAddress(device);
        auto checked = byNetwork.find(prefix);
        if (checked == byNetwork.end()) {
            std::string message;
            TOutcome o = CheckHostNetwork(device, port, network, message);
            o.Message = message;
            checked = byNetwork.emplace(prefix, o).first;
        }
        if (checked->second.Ok())
            kept.push_back(device);
        else
            report.Failure(device, checked->second);
    }
    devices = std::move(kept);
}

}  // namespace kstbell::cli
