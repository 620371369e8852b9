#include <map>
#include <set>

#include "mqtt/config.h"
#include "site/device_list.h"

namespace kstbell::mqtt {

bool ExpandDevices(const std::vector<TDeviceEntry>& devices, std::size_t maxHorns,
                   std::vector<THornEntry>& horns, std::vector<std::size_t>& entryOf,
                   std::string& error) {
    const site::TDeviceLimit limit{maxHorns,
                                   "max_horns in [devices] of the configuration raises it"};
    // Every address in one list, so that the limit counts all of them together.
    std::vector<std::string> addresses;
    std::vector<std::size_t> ends;
    // An address given alone (a horn's own table) counts over a list or range that also holds
    // it, so that its name and input class are not lost; of several, the last.
    std::map<std::string, std::size_t> alone;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const std::size_t before = addresses.size();
        if (!site::ExpandTarget(devices[i].Target, addresses, error, limit)) return false;
        ends.push_back(addresses.size());
        if (devices[i].Target.find('/') == std::string::npos && addresses.size() == before + 1)
            alone[addresses.back()] = i;
    }
    std::vector<THornEntry> out;
    std::vector<std::size_t> from;
    std::set<std::string> seen;
    for (std::size_t e = 0, i = 0; e < devices.size(); ++e) {
        for (; i < ends[e]; ++i) {
            if (!seen.insert(addresses[i]).second) continue;
            const auto own = alone.find(addresses[i]);
            const std::size_t entry = own == alone.end() ? e : own->second;
            out.push_back(
                {std::move(addresses[i]), devices[entry].Name, devices[entry].InputClass});
            from.push_back(entry);
        }
    }
    horns = std::move(out);
    entryOf = std::move(from);
    return true;
}

bool ExpandDevices(const std::vector<TDeviceEntry>& devices, std::size_t maxHorns,
                   std::vector<THornEntry>& horns, std::string& error) {
    std::vector<std::size_t> entryOf;
    return ExpandDevices(devices, maxHorns, horns, entryOf, error);
}

}  // namespace kstbell::mqtt
