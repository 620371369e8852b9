#include "cli/wifi_check.h"

#include <map>

#include "device/locate.h"
#include "device/session.h"
#include "platform/backends.h"
#include "protocol/address_text.h"

namespace kstbell::cli {

namespace {

// Checks, as the desktop program does, that this PC has exactly one connected Wi-Fi adapter on
// the network of address. NotLocated, with the reason in message, when it has not.
TOutcome CheckHostNetwork(const std::string& address, std::uint16_t port,
                          IHostNetworkSource& network, std::string& message) {
    struct TWhy : IDeviceObserver {
        TLocateResult Result = TLocateResult::Found;
        void OnLocated(TLocateResult r) override { Result = r; }
    } why;
    TQuietHost host;
    const auto tcp = MakeTcpClient(host);
    TDeviceSession probe(*tcp, network, host);
    probe.AddObserver(why);
    probe.Link.DeviceIp = address;
    probe.Link.DevicePort = port;
    probe.Locate.DeviceNetPrefix = ParseDeviceAddress(address);
    if (LocateDevice(probe) == 1) return {};
    const std::string prefix = probe.Locate.DeviceNetPrefix;
    message = why.Result == TLocateResult::Multiple
                  ? "more than one connected Wi-Fi adapter of this PC is on " + prefix + "x"
                  : "no connected Wi-Fi adapter of this PC is on " + prefix +
                        "x: join the horn's Wi-Fi network (or give -d ADDRESS)";
    return {TOutcomeKind::NotLocated};
}

}  // namespace

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
