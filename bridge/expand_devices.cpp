#include <map>
#include <set>

#include "bridge/config.h"
#include "site/device_list.h"

namespace kstbell::bridge {

bool ExpandDevices(const std::vector<TDeviceEntry>& devices, std::vector<THornEntry>& horns,
                   std::vector<std::size_t>& entryOf, std::string& error) {
    std::vector<std::vector<std::string>> expanded(devices.size());
    // An address given alone (a horn's own table) counts over a list or range that also holds
    // it, so that its name and input class are not lost; of several, the last.
    std::map<std::string, std::size_t> alone;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (!site::ExpandTarget(devices[i].Target, expanded[i], error)) return false;
        if (devices[i].Target.find('/') == std::string::npos && expanded[i].size() == 1)
            alone[expanded[i].front()] = i;
    }
    std::vector<THornEntry> out;
    std::vector<std::size_t> from;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        for (auto& a : expanded[i]) {
            if (!seen.insert(a).second) continue;
            const auto own = alone.find(a);
            const std::size_t entry = own == alone.end() ? i : own->second;
            out.push_back({std::move(a), devices[entry].Name, devices[entry].InputClass});
            from.push_back(entry);
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
