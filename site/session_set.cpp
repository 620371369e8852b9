#include "site/session_set.h"

#include <algorithm>

namespace kstbell::site {

void ConfigureSession(TDeviceSession& session, const std::string& address,
                      const TSessionOptions& options) {
    session.Link.DeviceIp = address;
    session.Link.DevicePort = options.Port;
    session.Link.ConnectTimeoutMs = options.ConnectTimeoutMs;
    session.Link.ReplyPolls = std::clamp(options.ReplyWaitMs / kReplyPollMs, 1, kReplyPolls);
    session.Locate.CheckHostNetwork = false;
    session.HostLock.Locks = options.HostLocks;
    session.HostLock.Stop = options.Stop;
}

struct TSessionSet::TSlot {
    TSlot(const std::string& address, const TSessionOptions& options, IHostNetworkSource& network)
        : Address(address), Tcp(MakeTcpClient(Host)), Session(*Tcp, network, Host) {
        ConfigureSession(Session, address, options);
    }
    std::string Address;
    TQuietHost Host;
    std::unique_ptr<ITcpClient> Tcp;
    TDeviceSession Session;
};

TSessionSet::TSessionSet(const std::vector<std::string>& addresses, const TSessionOptions& options,
                         IHostNetworkSource& network)
    : options_(options) {
    slots_.reserve(addresses.size());
    for (const auto& a : addresses)
        slots_.push_back(std::make_unique<TSlot>(a, options, network));
}

TSessionSet::~TSessionSet() = default;

const std::string& TSessionSet::Address(std::size_t i) const {
    return slots_.at(i)->Address;
}

TDeviceSession& TSessionSet::Session(std::size_t i) {
    return slots_.at(i)->Session;
}

void TSessionSet::ForEach(const std::function<void(std::size_t)>& job) {
    std::vector<std::size_t> all(slots_.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    ForEach(all, job);
}

void TSessionSet::ForEach(const std::vector<std::size_t>& which,
                          const std::function<void(std::size_t)>& job) {
    const std::size_t workers = std::min(std::max<std::size_t>(options_.Parallel, 1), Count());
    if (workers <= 1 || which.size() <= 1) {
        for (std::size_t i : which)
            job(i);
        return;
    }
    // One round at a time: a second caller waits for the first one's round to end.
    const std::lock_guard lock(poolMutex_);
    if (!pool_) pool_ = std::make_unique<TWorkerPool>(workers);
    pool_->Run(which.size(), [&](std::size_t k) { job(which[k]); });
}

}  // namespace kstbell::site
