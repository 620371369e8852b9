#include "sim/simulated_site.h"

#include <algorithm>
#include <stdexcept>

#include "sim/site_addresses.h"
#include "sim/site_impl.h"
#include "sim/socket_io.h"

namespace kstbell::sim {

namespace {

constexpr std::size_t kMostOpenPerHorn = 8;      // connections a horn keeps open at once
constexpr std::uint64_t kSpareDescriptors = 64;  // for the poller, stdio, files and the host
constexpr int kEphemeralAttempts = 8;

std::vector<std::string> HornAddresses(const TSiteOptions& options) {
    const std::string& first = options.Horns.BindAddress;
    const auto parsed = ParseIpv4(first);
    if (!parsed) {
        if (options.Count == 1) return {first};  // binding reports it
        throw std::invalid_argument("not an IPv4 address: " + first);
    }
    std::vector<std::string> texts;
    for (const TIpv4& address : ConsecutiveAddresses(*parsed, options.Count))
        texts.push_back(Ipv4Text(address));
    return texts;
}

std::vector<TIpv4> ReportedAddresses(const TSiteOptions& options) {
    const auto first = ParseIpv4(options.Horns.ReportedAddress.value_or(options.Horns.BindAddress));
    if (!first) return std::vector<TIpv4>(options.Count, TIpv4{});
    return ConsecutiveAddresses(*first, options.Count);
}

}  // namespace

TSimulatedSite::TImpl::TImpl(TSiteOptions options) : Options(std::move(options)) {
    if (Options.Count == 0) throw std::invalid_argument("a site needs at least one horn");
    const std::vector<std::string> addresses = HornAddresses(Options);
    const std::vector<TIpv4> reported = ReportedAddresses(Options);
    const bool several = Options.Count > 1;
    if (!Options.Horns.RelayLogPath.empty())
        RelayLog = std::make_unique<TRelayLog>(Options.Horns.RelayLogPath);
    Horns.resize(Options.Count);
    for (std::size_t i = 0; i < Options.Count; ++i) {
        THornSetup setup;
        setup.ReportedAddress = reported[i];
        setup.Mac = HornMac(Options.MacOffset + i);
        setup.Model = Options.Horns.Model;
        setup.Faults = Options.Horns.Faults;
        setup.StateDir = Options.Horns.StateDir;
        setup.RelayLog = RelayLog.get();
        setup.Address = addresses[i];
        if (!setup.StateDir.empty() && Options.FolderPerHorn) setup.StateDir += "/" + addresses[i];
        Horns[i].Address = addresses[i];
        Horns[i].Device = std::make_unique<THorn>(
            setup, TSimLog(Options.Horns.LogToStderr, several ? addresses[i] + ": " : ""));
    }
    NextToken = Options.Count;
    ListenPort = Options.Horns.Port;
}

TSiteHorn& TSimulatedSite::TImpl::At(std::size_t horn) {
    if (horn >= Horns.size()) throw std::out_of_range("no horn " + std::to_string(horn));
    return Horns[horn];
}

const TSiteHorn& TSimulatedSite::TImpl::At(std::size_t horn) const {
    if (horn >= Horns.size()) throw std::out_of_range("no horn " + std::to_string(horn));
    return Horns[horn];
}

void TSimulatedSite::TImpl::PlanDescriptors() {
    const std::uint64_t horns = Horns.size();
    const TDescriptorLimit limit =
        RaiseDescriptorLimit(horns * (1 + kMostOpenPerHorn) + kSpareDescriptors);
    const std::uint64_t least = horns * 2 + kSpareDescriptors;  // a listener and a connection
    if (limit.Soft < least) {
        throw std::runtime_error(std::to_string(horns) + " horns need at least " +
                                 std::to_string(least) + " open descriptors, but the limit is " +
                                 std::to_string(limit.Soft) + " (hard limit " +
                                 std::to_string(limit.Hard) +
                                 "): raise it, e.g. with ulimit -n, or simulate fewer horns");
    }
    MaxOpenPerHorn = static_cast<std::size_t>(std::min<std::uint64_t>(
        kMostOpenPerHorn, (limit.Soft - kSpareDescriptors - horns) / horns));
}

void TSimulatedSite::TImpl::OpenListener(std::size_t index, std::uint16_t port) {
    TSiteHorn& horn = Horns[index];
    TUniqueFd listener = ListenTcp(horn.Address, port);
    if (const int size = horn.Device->Faults().SegmentSize; size > 0)
        SetSegmentSize(listener.Get(), size);
    horn.Listener = std::move(listener);
    horn.Serving = 0;
    horn.Open = 0;
    horn.AcceptPausedUntil.reset();
    Poller->Set(horn.Listener.Get(), index, InterestRead);
}

// Every horn that is switched on, on one port: the first one picks it when the options ask for
// an ephemeral port, and the pick is tried again when another address has it taken already.
void TSimulatedSite::TImpl::OpenListeners() {
    const std::uint16_t wanted = Options.Horns.Port;
    for (int attempt = 1;; ++attempt) {
        std::uint16_t port = wanted;
        try {
            for (std::size_t i = 0; i < Horns.size(); ++i) {
                if (!Horns[i].SwitchedOn) continue;
                OpenListener(i, port);
                if (port == 0) port = BoundPort(Horns[i].Listener.Get());
            }
            ListenPort = port;
            return;
        } catch (const std::runtime_error&) {
            for (std::size_t i = 0; i < Horns.size(); ++i)
                CloseHorn(i, false);
            // Only a port picked here and then found taken on another address is picked anew.
            if (wanted != 0 || port == 0 || attempt == kEphemeralAttempts) throw;
        }
    }
}

void TSimulatedSite::TImpl::CloseHorn(std::size_t index, bool reset) {
    TSiteHorn& horn = Horns[index];
    for (auto it = Connections.begin(); it != Connections.end();) {
        if (it->second.Horn != index) {
            ++it;
            continue;
        }
        Poller->Forget(it->second.Link.Fd());
        it->second.Link.Abort(reset);
        it = Connections.erase(it);
    }
    if (horn.Listener.Valid()) {
        Poller->Forget(horn.Listener.Get());
        horn.Listener.Reset();
    }
    horn.Serving = 0;
    horn.Open = 0;
    horn.AcceptPausedUntil.reset();
}

bool TSimulatedSite::TImpl::ExchangesOver(TSimClock::time_point now) {
    const std::size_t before = NextToken;
    for (std::size_t i = 0; i < Horns.size(); ++i)
        if (Horns[i].Listener.Valid()) AcceptOn(i, now);
    if (NextToken != before) return false;  // just accepted: not read yet
    for (const auto& [token, connection] : Connections)
        if (connection.Link.Busy()) return false;
    for (const TSiteHorn& horn : Horns)
        if (horn.Device->AwaitsData(now)) return false;
    return true;
}

void TSimulatedSite::TImpl::OnLoop(std::unique_lock<std::mutex>& lock, std::function<void()> work) {
    if (!LoopActive) {
        work();
        return;
    }
    TLoopJob job{std::move(work), false, nullptr};
    Jobs.push_back(&job);
    Poller->Wake();
    JobsDone.wait(lock, [&] { return job.Done; });
    if (job.Error) std::rethrow_exception(job.Error);
}

// --- public interface ------------------------------------------------------------------------

TSimulatedSite::TSimulatedSite(TSiteOptions options)
    : impl_(std::make_unique<TImpl>(std::move(options))) {}

TSimulatedSite::~TSimulatedSite() {
    Stop();
}

void TSimulatedSite::Start() {
    std::lock_guard lock(impl_->Mutex);
    if (impl_->Started) return;
    // Before any horn's state folder is made: a site that cannot run leaves nothing behind.
    impl_->PlanDescriptors();
    for (TSiteHorn& horn : impl_->Horns)
        horn.Device->Boot();
    impl_->Poller = std::make_unique<TEventPoller>();
    try {
        impl_->OpenListeners();
    } catch (...) {
        impl_->Poller.reset();
        throw;
    }
    const auto& horns = impl_->Horns;
    const std::string port = std::to_string(impl_->ListenPort.load());
    TSimLog(impl_->Options.Horns.LogToStderr)
        .Line(horns.size() == 1
                  ? "listening on " + horns.front().Address + ":" + port
                  : "listening on " + std::to_string(horns.size()) + " addresses from " +
                        horns.front().Address + " to " + horns.back().Address + ", port " + port);
    impl_->Started = true;
    impl_->LoopActive = true;
    impl_->Loop = std::thread([impl = impl_.get()] { impl->Run(); });
}

void TSimulatedSite::Stop() {
    {
        std::lock_guard lock(impl_->Mutex);
        if (!impl_->Started || impl_->Stopping) return;
        impl_->Stopping = true;
        impl_->Poller->Wake();
    }
    impl_->Loop.join();
    std::lock_guard lock(impl_->Mutex);
    for (std::size_t i = 0; i < impl_->Horns.size(); ++i)
        impl_->CloseHorn(i, false);
    impl_->PausedHorns.clear();
    impl_->Poller.reset();
    impl_->Started = false;
    impl_->Stopping = false;
}

bool TSimulatedSite::FinishExchanges(std::chrono::milliseconds limit) {
    constexpr auto kLookAgain = std::chrono::milliseconds(5);
    const auto until = TSimClock::now() + limit;
    for (;;) {
        bool over = true;
        {
            std::unique_lock lock(impl_->Mutex);
            if (!impl_->Started) return true;
            impl_->OnLoop(lock, [&] { over = impl_->ExchangesOver(TSimClock::now()); });
        }
        if (over) return true;
        if (TSimClock::now() >= until) return false;
        std::this_thread::sleep_for(kLookAgain);
    }
}

std::size_t TSimulatedSite::Count() const {
    return impl_->Horns.size();
}

std::string TSimulatedSite::Address(std::size_t horn) const {
    return impl_->At(horn).Address;
}

std::uint16_t TSimulatedSite::Port() const {
    return impl_->ListenPort;
}

void TSimulatedSite::SetFaults(std::size_t horn, const TSimFaults& faults) {
    std::lock_guard lock(impl_->Mutex);
    TSiteHorn& site = impl_->At(horn);
    if (site.Listener.Valid() && faults.SegmentSize != site.Device->Faults().SegmentSize)
        SetSegmentSize(site.Listener.Get(), faults.SegmentSize);
    site.Device->SetFaults(faults);
}

void TSimulatedSite::SetInput(std::size_t horn, std::uint8_t input) {
    std::lock_guard lock(impl_->Mutex);
    impl_->At(horn).Device->SetInput(input);
}

TSimSnapshot TSimulatedSite::Snapshot(std::size_t horn) const {
    std::lock_guard lock(impl_->Mutex);
    return impl_->At(horn).Device->Snapshot();
}

std::optional<std::vector<std::uint8_t>> TSimulatedSite::ReadFile(std::size_t horn,
                                                                  const std::string& path) const {
    std::lock_guard lock(impl_->Mutex);
    return impl_->At(horn).Device->Flash().Read(path);
}

std::map<std::string, std::vector<std::uint8_t>> TSimulatedSite::Files(std::size_t horn) const {
    std::lock_guard lock(impl_->Mutex);
    return impl_->At(horn).Device->Flash().All();
}

std::vector<TSimRequest> TSimulatedSite::Requests(std::size_t horn) const {
    std::lock_guard lock(impl_->Mutex);
    return impl_->At(horn).Device->Requests();
}

void TSimulatedSite::ClearRequests(std::size_t horn) {
    std::lock_guard lock(impl_->Mutex);
    impl_->At(horn).Device->ClearRequests();
}

void TSimulatedSite::Restart(std::size_t horn) {
    std::lock_guard lock(impl_->Mutex);
    impl_->At(horn).Device->Restart();
}

void TSimulatedSite::StopHorn(std::size_t horn) {
    std::unique_lock lock(impl_->Mutex);
    TSiteHorn& site = impl_->At(horn);
    if (!site.SwitchedOn) return;
    impl_->OnLoop(lock, [&] {
        site.SwitchedOn = false;
        if (impl_->Poller) impl_->CloseHorn(horn, true);
        site.Device->Log().Line("switched off");
    });
}

void TSimulatedSite::StartHorn(std::size_t horn) {
    std::unique_lock lock(impl_->Mutex);
    TSiteHorn& site = impl_->At(horn);
    if (site.SwitchedOn) return;
    impl_->OnLoop(lock, [&] {
        if (impl_->Started) impl_->OpenListener(horn, impl_->ListenPort);
        site.SwitchedOn = true;
        site.Device->PowerOn();
        site.Device->Log().Line("switched on");
    });
}

bool TSimulatedSite::HornRunning(std::size_t horn) const {
    std::lock_guard lock(impl_->Mutex);
    return impl_->At(horn).SwitchedOn;
}

}  // namespace kstbell::sim
