#include "site/site.h"

#include <algorithm>

#include "device/host_hold.h"
#include "device/readings.h"
#include "device/session.h"

namespace kstbell::site {

namespace {

std::vector<std::string> Addresses(const std::vector<THornEntry>& horns) {
    std::vector<std::string> out;
    out.reserve(horns.size());
    for (const auto& h : horns)
        out.push_back(h.Address);
    return out;
}

// The site polls its horns all the time: the PC's locks are taken as standing holds, so that
// its polls touch no lock file while no other program is about.
TSiteConfig WithStop(TSiteConfig config, const std::atomic<bool>* stop) {
    config.Sessions.Stop = stop;
    if (config.Sessions.HostLocks == &HostLocksOfThisPc())
        config.Sessions.HostLocks = &StandingHostLocksOfThisPc();
    return config;
}

}  // namespace

TSite::TSite(TSiteConfig config, IHostNetworkSource& network, IRingJournal* journal,
             ISiteListener& listener)
    : config_(WithStop(std::move(config), &stopFlag_)),
      journal_(journal),
      listener_(listener),
      tally_([this](const TRingSwitches& switches) { listener_.OnRingSwitched(switches); }),
      sessions_(Addresses(config_.Horns), config_.Sessions, network),
      registry_(config_.Horns, config_.Registry,
                [this](std::vector<THornEvent> events) {
                    listener_.OnHornEvents(events);
                    tally_.Note(events);
                }),
      polls_(config_.Horns.size()),
      book_(config_.Horns.size(), config_.Rings) {}

TSite::~TSite() {
    Stop();
}

TNow TSite::Now() const {
    return {std::chrono::steady_clock::now(),
            config_.WallClock ? config_.WallClock() : std::chrono::system_clock::now()};
}

void TSite::Restore(const std::vector<TRingRecord>& running,
                    const std::vector<TRingEnd>& endedUnconfirmed) {
    const std::lock_guard lock(bookMutex_);
    const TNow now = Now();
    Apply(book_.Restore(running, endedUnconfirmed, now), TCause::Service, now.Wall);
}

void TSite::Start() {
    {
        const std::lock_guard lock(bookMutex_);
        if (started_) return;
        started_ = true;
    }
    runner_ = std::make_unique<THornRunner>(
        Count(), config_.Sessions.Parallel,
        THornRunner::THandlers{[this](std::size_t h) { RunCommands(h); },
                               [this](std::size_t h) { Poll(h); }});
    // Switches asked for before the start (a restore) wait in the registry: run them now.
    for (std::size_t h = 0; h < Count(); ++h)
        if (registry_.View(h).Queued > 0) runner_->WakeCommands(h);
    runner_->StartPolling(config_.PollPeriod);
    clock_ = std::thread([this] { ClockLoop(); });
}

void TSite::Stop() {
    {
        const std::lock_guard lock(bookMutex_);
        if (!started_ || stopping_) return;
        stopping_ = true;
    }
    // Waiting commands end now, cancelled, also one that waits for another program's transfer
    // to its horn; only what is on the wire is finished.
    stopFlag_ = true;
    clockWake_.notify_all();
    if (clock_.joinable()) clock_.join();
    registry_.Close();
    runner_->Stop();
    // A ring whose horns had not all answered is still told of (its audit entry waits for it).
    tally_.CloseAll();
}

bool TSite::Submit(std::size_t horn, TCommand command) {
    if (horn >= Count()) return false;
    if (!registry_.Submit(horn, command)) return false;
    if (runner_) runner_->WakeCommands(horn);
    return true;
}

void TSite::Switch(const TSwitch& s, const std::string& tag, TCause cause) {
    TCommand c;
    c.Kind = TCommandKind::Relay;
    c.On = s.On;
    if (s.On) c.Tone = s.Tone;
    c.Tag = tag;
    c.Cause = cause;
    c.Ring = s.Ring;
    // A switch-on answered at once (the horn offline, too much waiting) is owed to the horn.
    if (!Submit(s.Horn, c) && s.On) book_.Owe(s.Horn, s.Ring);
}

void TSite::Apply(const TRingUpdate& u, TCause cause, TInstant now, const std::string& tag,
                  TCause switchCause) {
    for (const auto& s : u.Switches)
        Switch(s, tag, switchCause);
    for (const auto& e : u.Ended) {
        tally_.Close(e.Ring);
        if (journal_) journal_->Ended(e, now);
        listener_.OnRingEnded(e, cause, now);
    }
    for (const auto& [ring, horn] : u.ConfirmedOff)
        if (journal_ && ring != 0) journal_->ConfirmedOff(ring, horn, now);
    for (std::size_t horn : u.Unowned)
        listener_.OnUnowned(horn, now);
}

TRingStart TSite::Ring(TRingOrder order) {
    const std::lock_guard lock(bookMutex_);
    const TNow now = Now();
    if (stopping_ || closing_) return {};
    // What the book would do, on a copy first: a ring that cannot be kept is not started.
    TRingBook trial = book_;
    TRingStart start = trial.Start(order, now);
    if (journal_ && !journal_->Record(start.Record)) return {};
    book_ = std::move(trial);
    listener_.OnRingStarted(start);
    tally_.Open(start.Record.Id, start.Taken);
    const TCause cause = start.Record.Order.Cause;
    for (const auto& s : start.Switches) {
        if (registry_.KnownOffline(s.Horn)) tally_.Offline(start.Record.Id, s.Horn);
        Switch(s, start.Record.Order.Tag, cause);
    }
    clockWake_.notify_all();
    return start;
}

std::optional<TRingSwitches> TSite::AwaitSwitches(std::uint64_t ring, TMillis within) const {
    return tally_.Wait(ring, std::chrono::steady_clock::now() + within);
}

TMillis TSite::SwitchWait() const {
    return TMillis(config_.Sessions.ReplyWaitMs) + TMillis(500);
}

void TSite::StopRing(std::uint64_t ring, TCause cause) {
    const std::lock_guard lock(bookMutex_);
    Apply(book_.Stop(ring), cause, Now().Wall);
}

void TSite::StopHorn(std::size_t horn, TCause cause, const std::string& tag) {
    const std::lock_guard lock(bookMutex_);
    Apply(book_.StopHorn(horn), cause, Now().Wall, tag, cause);
}

void TSite::StopAll(TCause cause) {
    const std::lock_guard lock(bookMutex_);
    Apply(book_.StopAll(), cause, Now().Wall);
}

TSite::TRingsEnded TSite::EndRings(TCause cause, TMillis bound) {
    TRingsEnded out;
    std::unique_lock lock(bookMutex_);
    closing_ = true;
    for (const auto& ring : book_.Active()) {
        const TRingUpdate u = book_.Stop(ring.Id);
        Apply(u, cause, Now().Wall);
        for (const auto& e : u.Ended) {
            ++out.Rings;
            out.Horns.insert(out.Horns.end(), e.Horns.begin(), e.Horns.end());
        }
    }
    std::sort(out.Horns.begin(), out.Horns.end());
    out.Horns.erase(std::unique(out.Horns.begin(), out.Horns.end()), out.Horns.end());
    const auto stillOn = [&] {
        std::vector<std::size_t> on;
        for (std::size_t h : out.Horns)
            if (book_.WantsOff(h)) on.push_back(h);
        return on;
    };
    // Without the runner nothing can report a horn off: no wait.
    if (!started_ || stopping_) bound = TMillis::zero();
    seenOff_.wait_until(lock, std::chrono::steady_clock::now() + bound,
                        [&] { return stillOn().empty(); });
    out.StillOn = stillOn();
    return out;
}

std::vector<TRingRecord> TSite::ActiveRings() const {
    const std::lock_guard lock(bookMutex_);
    return book_.Active();
}

std::vector<std::uint64_t> TSite::Holders() const {
    std::vector<std::uint64_t> out(registry_.Count(), 0);
    const std::lock_guard lock(bookMutex_);
    for (std::size_t h = 0; h < out.size(); ++h)
        out[h] = book_.Holder(h).value_or(0);
    return out;
}

void TSite::ClockLoop() {
    std::unique_lock lock(bookMutex_);
    while (!stopping_) {
        const auto next = book_.NextDeadline();
        if (next)
            clockWake_.wait_until(lock, *next);
        else
            clockWake_.wait(lock);
        if (stopping_) return;
        const TNow now = Now();
        Apply(book_.Advance(now.Steady), TCause::Service, now.Wall);
    }
}

void TSite::ObserveOutput(std::size_t horn, bool output) {
    {
        const std::lock_guard lock(bookMutex_);
        Apply(book_.Observed(horn, output), TCause::Service, Now().Wall);
    }
    seenOff_.notify_all();
}

void TSite::Poll(std::size_t horn) {
    TDeviceSession& s = sessions_.Session(horn);
    // A horn that another program on this PC holds for a transfer is skipped, not waited for,
    // and the skip is no missed poll.
    TPollScope polling(s);
    const auto began = std::chrono::steady_clock::now();
    bool answered = false;
    if (registry_.WantsInfo(horn)) {
        const TInfoReading r = ReadInfo(s);
        answered = r.Outcome.Ok();
        registry_.PolledInfo(horn, r);
        if (r.Outcome.Ok() && r.Supported) ObserveOutput(horn, r.Info.Output != 0);
    } else {
        const TStatusReading r = ReadStatus(s);
        answered = r.Outcome.Ok();
        registry_.PolledStatus(horn, r);
        if (r.Outcome.Ok()) ObserveOutput(horn, r.Status.Output != 0);
    }
    polls_.Record(horn, std::chrono::steady_clock::now() - began, answered, Now().Wall);
    runner_->SetSlow(horn, registry_.Slow(horn));
}

void TSite::RunCommands(std::size_t horn) {
    TDeviceSession& s = sessions_.Session(horn);
    while (const auto c = registry_.NextCommand(horn)) {
        switch (c->Kind) {
            case TCommandKind::Relay: {
                const TRelayReading r = SwitchRelay(s, c->On ? 1 : 0, c->SendTone);
                if (c->On && c->Ring != 0 && !r.Outcome.Ok() &&
                    r.Outcome.Kind != TOutcomeKind::Cancelled) {
                    // Owed before the result goes out and before the status is asked below, so
                    // that the horn's next report of its output off switches it on.
                    const std::lock_guard lock(bookMutex_);
                    book_.Owe(horn, c->Ring);
                }
                registry_.RelayDone(horn, *c, r);
                if (r.Outcome.Ok()) {
                    ObserveOutput(horn, r.Output != 0);
                } else if (r.Outcome.Kind == TOutcomeKind::NoReply ||
                           r.Outcome.Kind == TOutcomeKind::SocketError) {
                    // The request may have switched the relay although its answer was lost: ask.
                    const TStatusReading status = ReadStatus(s);
                    if (status.Outcome.Ok()) {
                        registry_.PolledStatus(horn, status);
                        ObserveOutput(horn, status.Status.Output != 0);
                    }
                }
                break;
            }
            case TCommandKind::FindMe:
                registry_.CommandDone(horn, *c, FindMe(s));
                break;
            case TCommandKind::Reboot:
                registry_.CommandDone(horn, *c, RequestReset(s));
                break;
        }
    }
    runner_->SetSlow(horn, registry_.Slow(horn));
}

}  // namespace kstbell::site
