#include <set>

#include "bridge/config.h"
#include "site/device_list.h"

namespace kstbell::bridge {

bool ExpandDevices(const std::vector<TDeviceEntry>& devices, std::size_t maxHorns,
                   std::vector<THornEntry>& horns, std::string& error) {
    const site::TDeviceLimit limit{maxHorns,
                                   "max_horns in [devices] of the configuration raises it"};
    // Every address in one list, so that the limit counts all of them together.
    std::vector<std::string> addresses;
    std::vector<std::size_t> ends;
    for (const auto& entry : devices) {
        if (!site::ExpandTarget(entry.Target, addresses, error, limit)) return false;
        ends.push_back(addresses.size());
    }
    std::vector<THornEntry> out;
    std::set<std::string> seen;
    for (std::size_t e = 0, i = 0; e < devices.size(); ++e) {
        for (; i < ends[e]; ++i) {
            if (seen.insert(addresses[i]).second)
                out.push_back({std::move(addresses[i]), devices[e].Name, devices[e].InputClass});
        }
    }
    horns = std::move(out);
    return true;
}

}  // namespace kstbell::bridge
