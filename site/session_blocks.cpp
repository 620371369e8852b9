#include "site/session_blocks.h"

#include <algorithm>

namespace kstbell::site {

void ForEachDevice(const std::vector<std::string>& addresses, const TSessionOptions& options,
                   IHostNetworkSource& network, const TDeviceJob& job,
                   const std::atomic<bool>* stop) {
    for (std::size_t first = 0; first < addresses.size(); first += kSessionBlock) {
        if (stop && stop->load()) return;
        const std::size_t last = std::min(addresses.size(), first + kSessionBlock);
        const std::vector<std::string> block(addresses.begin() + static_cast<std::ptrdiff_t>(first),
                                             addresses.begin() + static_cast<std::ptrdiff_t>(last));
        TSessionSet sessions(block, options, network);
        sessions.ForEach([&](std::size_t i) {
            if (stop && stop->load()) return;
            job(sessions.Address(i), sessions.Session(i));
        });
    }
}

}  // namespace kstbell::site
