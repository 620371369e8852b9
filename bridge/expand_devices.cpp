#include <set>

#include "bridge/config.h"
#include "site/device_list.h"

namespace kstbell::bridge {

bool ExpandDevices(const std::vector<TDeviceEntry>& devices, std::vector<THornEntry>& horns,
                   std::string& error) {
    std::vector<THornEntry> out;
    std::set<std::string> seen;
    for (const auto& entry : devices) {
        std::vector<std::string> addresses;
        if (!site::ExpandTarget(entry.Target, addresses, error)) return false;
        for (auto& a : addresses) {
            if (seen.insert(a).second) out.push_back({std::move(a), entry.Name, entry.InputClass});
        }
    }
    horns = std::move(out);
    return true;
}

}  // namespace kstbell::bridge
