#include "cli/verb_context.h"

#include <mutex>
#include <unordered_set>

namespace kstbell::cli {

void TVerbContext::ForEachOf(const std::vector<std::string>& devices, const site::TDeviceJob& job) {
    std::mutex mutex;
    std::unordered_set<std::string> started;
    site::ForEachDevice(
        devices, Engine, Network,
        [&](const std::string& address, TDeviceSession& s) {
            {
                std::lock_guard lock(mutex);
                started.insert(address);
            }
            job(address, s);
        },
        Env.Stop);
    if (!Stopped()) return;
    std::vector<std::string> untouched;
    for (const auto& device : devices)
        if (started.count(device) == 0) untouched.push_back(device);
    if (!untouched.empty())
        Report.Interrupted(untouched, "interrupted before it was contacted: nothing was done");
}

std::string InterruptedWaiting(const std::string& done) {
    return done + "; interrupted while waiting for the device to answer again";
}

void FailAll(TVerbContext& c, const TOutcome& o) {
    c.Report.Failure(c.Devices, o);
}

std::string DeviceListText(const std::vector<std::string>& devices) {
    if (devices.size() == 1) return devices[0];
    if (devices.size() == 2) return devices[0] + " and " + devices[1];
    return devices[0] + " and " + std::to_string(devices.size() - 1) + " more devices";
}

}  // namespace kstbell::cli
