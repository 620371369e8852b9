// The site's event loop: one thread, one wait for every listener and connection of every horn.

#include <algorithm>
#include <limits>

#include "sim/site_impl.h"
#include "sim/socket_io.h"

namespace kstbell::sim {

namespace {

constexpr auto kAcceptPause = std::chrono::milliseconds(50);  // after running out of descriptors
constexpr int kAcceptsPerWake = 64;

}  // namespace

void TSimulatedSite::TImpl::Run() {
    std::vector<TPollEvent> events;
    std::unique_lock lock(Mutex);
    while (!Stopping) {
        RunJobs();
        const int waitMs = NextWaitMs(TSimClock::now());
        lock.unlock();
        Poller->Wait(waitMs, events);
        lock.lock();
        if (Stopping) break;
        const auto now = TSimClock::now();
        for (const TPollEvent& event : events)
            Dispatch(event, now);
        RunTimers(TSimClock::now());
    }
    RunJobs();
    LoopActive = false;
}

void TSimulatedSite::TImpl::RunJobs() {
    if (Jobs.empty()) return;
    for (TLoopJob* job : Jobs) {
        try {
            job->Work();
        } catch (...) {
            job->Error = std::current_exception();
        }
        job->Done = true;
    }
    Jobs.clear();
    JobsDone.notify_all();
}

void TSimulatedSite::TImpl::Dispatch(const TPollEvent& event, TSimClock::time_point now) {
    if (event.Token < Horns.size()) {
        AcceptOn(static_cast<std::size_t>(event.Token), now);
        return;
    }
    const auto it = Connections.find(event.Token);
    if (it == Connections.end()) return;  // ended earlier in this round
    TConnection& link = it->second.Link;
    if (event.Writable) link.OnWritable(now);
    if (event.Readable && !link.Done()) link.OnReadable(now);
    Settle(event.Token, now);
}

void TSimulatedSite::TImpl::AcceptOn(std::size_t index, TSimClock::time_point now) {
    TSiteHorn& horn = Horns[index];
    for (int i = 0; i < kAcceptsPerWake && horn.Listener.Valid() && horn.Serving == 0 &&
                    horn.Open < MaxOpenPerHorn && !horn.AcceptPausedUntil;
         ++i) {
        TAccepted accepted = AcceptConnection(horn.Listener.Get());
        if (accepted.Status == EIo::WouldBlock) break;
        if (accepted.Status != EIo::Done) {
            horn.Device->Log().Line("accept failed: " + accepted.Error);
            if (accepted.OutOfDescriptors) {
                // Back off instead of spinning on a listener that stays readable.
                horn.AcceptPausedUntil = now + kAcceptPause;
                PausedHorns.push_back(index);
            }
            break;
        }
        if (horn.Device->Faults().CloseOnAccept) {
            // A data connection closed at once ends its upload: the client's next connection
            // is a request again, not the stale data phase.
            const auto upload = horn.Device->TakeUpload(accepted.Peer, now);
            horn.Device->Log().Line(upload ? "data connection for " + EscapeForLog(upload->Path) +
                                                 " closed on accept: not stored"
                                           : std::string("connection closed on accept"));
            continue;
        }
        SetNoDelay(accepted.Fd.Get());
        const std::uint64_t token = NextToken++;
        const auto [it, added] = Connections.try_emplace(token, index, std::move(accepted.Fd),
                                                         accepted.Peer, *horn.Device);
        ++horn.Open;
        it->second.Link.Begin(now);
        Settle(token, now);
    }
    UpdateListener(index, now);
}

void TSimulatedSite::TImpl::Settle(std::uint64_t token, TSimClock::time_point now) {
    const auto it = Connections.find(token);
    if (it == Connections.end()) return;
    TConnection& link = it->second.Link;
    const std::size_t index = it->second.Horn;
    TSiteHorn& horn = Horns[index];
    if (link.Done()) {
        Poller->Forget(link.Fd());
        link.Close();
        Connections.erase(it);
        --horn.Open;
        if (horn.Serving == token) horn.Serving = 0;
    } else {
        Poller->Set(link.Fd(), token, link.Interest());
        if (link.Serving()) {
            horn.Serving = token;
        } else if (horn.Serving == token) {
            horn.Serving = 0;
        }
    }
    UpdateListener(index, now);
}

void TSimulatedSite::TImpl::UpdateListener(std::size_t index, TSimClock::time_point now) {
    TSiteHorn& horn = Horns[index];
    if (!horn.Listener.Valid()) return;
    if (horn.AcceptPausedUntil && now >= *horn.AcceptPausedUntil) horn.AcceptPausedUntil.reset();
    const bool accepting =
        horn.Serving == 0 && horn.Open < MaxOpenPerHorn && !horn.AcceptPausedUntil;
    Poller->Set(horn.Listener.Get(), index, accepting ? InterestRead : InterestNone);
}

void TSimulatedSite::TImpl::RunTimers(TSimClock::time_point now) {
    std::vector<std::uint64_t> due;
    for (const auto& [token, connection] : Connections) {
        const auto at = connection.Link.WakeAt();
        if (at && *at <= now) due.push_back(token);
    }
    for (const std::uint64_t token : due) {
        const auto it = Connections.find(token);
        if (it == Connections.end()) continue;
        it->second.Link.OnTime(now);
        Settle(token, now);
    }
    if (PausedHorns.empty()) return;
    std::vector<std::size_t> paused;
    paused.swap(PausedHorns);
    for (const std::size_t index : paused) {
        UpdateListener(index, now);
        if (Horns[index].AcceptPausedUntil) PausedHorns.push_back(index);
    }
}

int TSimulatedSite::TImpl::NextWaitMs(TSimClock::time_point now) const {
    std::optional<TSimClock::time_point> next;
    const auto consider = [&](const std::optional<TSimClock::time_point>& at) {
        if (at && (!next || *at < *next)) next = at;
    };
    for (const auto& [token, connection] : Connections)
        consider(connection.Link.WakeAt());
    for (const std::size_t index : PausedHorns)
        consider(Horns[index].AcceptPausedUntil);
    if (!next) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    return static_cast<int>(std::clamp<long long>(left, 0, std::numeric_limits<int>::max()));
}

}  // namespace kstbell::sim
