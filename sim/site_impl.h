#pragma once

// The inside of TSimulatedSite, shared by its public face (simulated_site.cpp) and its event
// loop (site_loop.cpp). Everything below Mutex is guarded by it; the loop holds it whenever it
// is not waiting, and work that touches the poller runs on the loop's thread (OnLoop).

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "sim/connection.h"
#include "sim/event_poller.h"
#include "sim/horn.h"
#include "sim/simulated_site.h"
#include "sim/unique_fd.h"

namespace kstbell::sim {

struct TSiteHorn {
    std::string Address;
    std::unique_ptr<THorn> Device;
    TUniqueFd Listener;
    bool SwitchedOn = true;
    std::uint64_t Serving = 0;  // the connection being served; 0 for none
    std::size_t Open = 0;       // connections open, served or draining
    std::optional<TSimClock::time_point> AcceptPausedUntil;  // out of descriptors
};

struct TSiteConnection {
    TSiteConnection(std::size_t horn, TUniqueFd fd, std::uint32_t peer, THorn& device)
        : Horn(horn), Link(std::move(fd), peer, device) {}
    std::size_t Horn;
    TConnection Link;
};

// Work for the loop's thread, handed over by another thread that waits for it.
struct TLoopJob {
    std::function<void()> Work;
    bool Done = false;
    std::exception_ptr Error;
};

struct TSimulatedSite::TImpl {
    explicit TImpl(TSiteOptions options);

    const TSiteOptions Options;
    std::unique_ptr<TRelayLog> RelayLog;  // before Horns: they write to it
    std::atomic<std::uint16_t> ListenPort{0};

    mutable std::mutex Mutex;
    std::vector<TSiteHorn> Horns;
    std::unique_ptr<TEventPoller> Poller;
    std::unordered_map<std::uint64_t, TSiteConnection> Connections;
    std::uint64_t NextToken = 0;  // connection tokens start above every listener's
    std::size_t MaxOpenPerHorn = 8;
    std::vector<std::size_t> PausedHorns;
    std::thread Loop;
    bool Started = false;     // between Start and the end of Stop
    bool LoopActive = false;  // the loop runs jobs; false before it starts and once it ends
    bool Stopping = false;
    std::vector<TLoopJob*> Jobs;
    std::condition_variable JobsDone;

    TSiteHorn& At(std::size_t horn);
    const TSiteHorn& At(std::size_t horn) const;

    // simulated_site.cpp
    void PlanDescriptors();
    void OpenListeners();
    void OpenListener(std::size_t horn, std::uint16_t port);
    void CloseHorn(std::size_t horn, bool reset);
    // Accepts what waits; true when nothing did and no exchange is under way (see
    // FinishExchanges). On the loop's thread.
    bool ExchangesOver(TSimClock::time_point now);
    // Runs work on the loop's thread and waits for it, or at once (lock held) when no loop runs.
    void OnLoop(std::unique_lock<std::mutex>& lock, std::function<void()> work);

    // site_loop.cpp
    void Run();
    void RunJobs();
    void Dispatch(const TPollEvent& event, TSimClock::time_point now);
    void AcceptOn(std::size_t horn, TSimClock::time_point now);
    // Brings the poller and the horn up to date after a connection moved on; ends it if done.
    void Settle(std::uint64_t token, TSimClock::time_point now);
    void UpdateListener(std::size_t horn, TSimClock::time_point now);
    void RunTimers(TSimClock::time_point now);
    int NextWaitMs(TSimClock::time_point now) const;
};

}  // namespace kstbell::sim
