#include "cli/engine.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "device/locate.h"
#include "platform/backends.h"
#include "protocol/address_text.h"

namespace kstbell::cli {

struct TEngine::TSlot {
    TSlot(const std::string& address, const TEngineOptions& options, IHostNetworkSource& network)
        : Address(address), Tcp(MakeTcpClient(Host)), Session(*Tcp, network, Host) {
        Session.Link.DeviceIp = address;
        Session.Link.DevicePort = options.Port;
        Session.Link.ConnectTimeoutMs = options.ConnectTimeoutMs;
        Session.Link.ReplyPolls = std::clamp(options.ReplyWaitMs / kReplyPollMs, 1, kReplyPolls);
        Session.Locate.CheckHostNetwork = false;
    }
    std::string Address;
    TQuietHost Host;
    std::unique_ptr<ITcpClient> Tcp;
    TDeviceSession Session;
};

TEngine::TEngine(const std::vector<std::string>& addresses, const TEngineOptions& options,
                 IHostNetworkSource& network)
    : options_(options) {
    slots_.reserve(addresses.size());
    for (const auto& a : addresses)
        slots_.push_back(std::make_unique<TSlot>(a, options, network));
}

TEngine::~TEngine() = default;

const std::string& TEngine::Address(std::size_t i) const {
    return slots_.at(i)->Address;
}

TDeviceSession& TEngine::Session(std::size_t i) {
    return slots_.at(i)->Session;
}

void TEngine::ForEach(const std::function<void(std::size_t)>& job) {
    std::vector<std::size_t> all(slots_.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    ForEach(all, job);
}

void TEngine::ForEach(const std::vector<std::size_t>& which,
                      const std::function<void(std::size_t)>& job) {
    const std::size_t workers = std::min(std::max<std::size_t>(options_.Parallel, 1), which.size());
    if (workers <= 1) {
        for (std::size_t i : which)
            job(i);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (std::size_t w = 0; w < workers; ++w) {
        threads.emplace_back([&] {
            for (std::size_t k = next++; k < which.size(); k = next++)
                job(which[k]);
        });
    }
    for (auto& t : threads)
        t.join();
}

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

}  // namespace kstbell::cli
