#include <set>

#include "bridge/config.h"
#include "site/device_list.h"

namespace kstbell::bridge {

bool ExpandDevices(const std::vector<TDeviceEntry>& devices, std::vector<THornEntry>& horns,
                   std::vector<std::size_t>& entryOf, std::string& error) {
    std::vector<THornEntry> out;
    std::vector<std::size_t> from;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const TDeviceEntry& entry = devices[i];
        std::vector<std::string> addresses;
        if (!site::ExpandTarget(entry.Target, addresses, error)) return false;
        for (auto& a : addresses) {
            if (!seen.insert(a).second) continue;
            out.push_back({std::move(a), entry.Name, entry.InputClass});
            from.push_back(i);
        }
    }
    horns = std::move(out);
    entryOf = std::move(from);
    return true;
}

bool ExpandDevices(const std::vector<TDeviceEntry>& devices, std::vector<THornEntry>& horns,
                   std::string& error) {
    std::vector<std::size_t> entryOf;
    return ExpandDevices(devices, horns, entryOf, error);
}

}  // namespace kstbell::bridge
