#include "site/horn_registry.h"

#include <algorithm>
#include <utility>

#include "protocol/text.h"

namespace kstbell::site {

namespace {

bool IsAnswer(const TOutcome& o) {
    return o.Kind == TOutcomeKind::Done || o.Kind == TOutcomeKind::Refused;
}

// Outcomes that say the horn did not answer (as opposed to a refusal, or a command that never
// went out).
bool IsMiss(const TOutcome& o) {
    return o.Kind == TOutcomeKind::NoReply || o.Kind == TOutcomeKind::Unreachable ||
           o.Kind == TOutcomeKind::SocketError;
}

TOutcome WithMessage(TOutcomeKind kind, std::string message) {
    TOutcome o{kind};
    o.Message = std::move(message);
    return o;
}

TOutcome Offline() {
    return WithMessage(TOutcomeKind::Unreachable, "the horn is offline");
}

}  // namespace

THornRegistry::THornRegistry(const std::vector<THornEntry>& horns, TRegistryOptions options,
                             TSink sink)
    : options_(options), sink_(std::move(sink)), horns_(horns.size()) {
    for (std::size_t i = 0; i < horns.size(); ++i) {
        horns_[i].Address = horns[i].Address;
        horns_[i].Name = horns[i].Name;
    }
}

std::optional<std::size_t> THornRegistry::FindByMac(const TMac& mac) const {
    const std::lock_guard lock(m_);
    const auto found = byMac_.find(mac);
    if (found == byMac_.end()) return std::nullopt;
    return found->second;
}

THornView THornRegistry::MakeView(std::size_t index) const {
    const THorn& h = horns_[index];
    THornView v;
    v.Index = index;
    v.Address = h.Address;
    v.Name = h.Name;
    v.Identity = h.Identity;
    v.Presence = h.Presence.State();
    v.State = h.State;
    v.Queued = h.Queue.size();
    return v;
}

THornView THornRegistry::View(std::size_t horn) const {
    const std::lock_guard lock(m_);
    return MakeView(horn);
}

std::vector<THornView> THornRegistry::Snapshot() const {
    std::vector<THornView> all;
    Visit([&](const std::vector<THornView>& views) { all = views; });
    return all;
}

void THornRegistry::Visit(const std::function<void(const std::vector<THornView>&)>& visit) const {
    const std::lock_guard lock(m_);
    std::vector<THornView> all;
    all.reserve(horns_.size());
    for (std::size_t i = 0; i < horns_.size(); ++i)
        all.push_back(MakeView(i));
    visit(all);
}

bool THornRegistry::Slow(std::size_t horn) const {
    const std::lock_guard lock(m_);
    return horns_.at(horn).Slow;
}

bool THornRegistry::KnownOffline(std::size_t horn) const {
    const std::lock_guard lock(m_);
    return horns_.at(horn).Presence.State() == TPresence::Offline;
}

THornEvent THornRegistry::Event(THornEvent::TKind kind, std::size_t index) const {
    THornEvent e;
    e.Kind = kind;
    e.View = MakeView(index);
    return e;
}

bool THornRegistry::WantsInfo(std::size_t horn) const {
    const std::lock_guard lock(m_);
    const THorn& h = horns_.at(horn);
    return h.NeedInfo || !h.Identity || h.PollsSinceInfo >= options_.InfoEveryPolls;
}

void THornRegistry::Answered(std::size_t index, TEvents& out) {
    THorn& h = horns_[index];
    h.Slow = false;
    ++h.PollsSinceInfo;
    if (h.Presence.Answered() == TPresenceChange::CameOnline && h.Identity)
        out.push_back(Event(THornEvent::TKind::Online, index));
}

void THornRegistry::Missed(std::size_t index, TEvents& out) {
    THorn& h = horns_[index];
    h.Slow = true;
    if (h.Presence.Missed() != TPresenceChange::WentOffline) return;
    h.NeedInfo = true;  // it may come back as another horn, or with other firmware
    if (!h.Identity) return;
    out.push_back(Event(THornEvent::TKind::Offline, index));
    FailQueued(index, Offline(), true, out);
}

void THornRegistry::Counted(std::size_t index, const TOutcome& outcome, TEvents& out) {
    if (IsAnswer(outcome))
        Answered(index, out);
    else if (IsMiss(outcome))
        Missed(index, out);
}

void THornRegistry::SetState(std::size_t index, const THornState& state, TEvents& out) {
    THorn& h = horns_[index];
    if (state == h.State) return;
    h.State = state;
    if (h.Identity) out.push_back(Event(THornEvent::TKind::StateChanged, index));
}

void THornRegistry::Identify(std::size_t index, const TDeviceInfo& report, TEvents& out) {
    THorn& h = horns_[index];
    THornIdentity identity{report.Mac, report.Location, report.FirmwareMajor, report.FirmwareMinor};
    const auto owner = byMac_.find(identity.Mac);
    if (owner != byMac_.end() && owner->second != index) {
        if (!h.Warned) {
            THornEvent e = Event(THornEvent::TKind::DuplicateMac, index);
            e.Previous = identity;
            e.OtherAddress = horns_[owner->second].Address;
            out.push_back(std::move(e));
        }
        h.Warned = true;
        return;
    }
    if (h.Identity && h.Identity->Mac != identity.Mac) {
        // Another horn answers at this address now: the one before is gone from here.
        THornEvent e = Event(THornEvent::TKind::Replaced, index);
        e.Previous = h.Identity;
        FailQueued(index, Offline(), true, out);
        byMac_.erase(h.Identity->Mac);
        h.Identity.reset();
        h.State = {};
        h.Presence = TPresenceTracker{};
        out.push_back(std::move(e));
    }
    if (!h.Identity || !(*h.Identity == identity)) {
        byMac_[identity.Mac] = index;
        h.Identity = identity;
        out.push_back(Event(THornEvent::TKind::Identified, index));
    }
    h.Warned = false;
    h.NeedInfo = false;
    h.PollsSinceInfo = 0;
}

void THornRegistry::PolledInfo(std::size_t horn, const TInfoReading& reading) {
    const std::lock_guard lock(m_);
    TEvents out;
    THorn& h = horns_.at(horn);
    if (reading.Outcome.Ok() && !reading.Supported) {
        if (!h.Warned) {
            THornEvent e = Event(THornEvent::TKind::Unsupported, horn);
            e.Model = reading.Info.Model;
            out.push_back(std::move(e));
        }
        h.Warned = true;
        h.Presence.Answered();
        h.Slow = false;
    } else if (reading.Outcome.Ok()) {
        Identify(horn, reading.Info, out);
        if (h.Identity) {
            Answered(horn, out);
            THornState state = h.State;
            state.Output = reading.Info.Output != 0;
            state.Input = reading.Info.Input != 0;
            state.Armed = reading.Info.Armed != 0;
            state.RssiDbm = RssiKnown(reading.Info.RssiRaw)
                                ? std::optional(RssiDbm(reading.Info.RssiRaw))
                                : std::nullopt;
            SetState(horn, state, out);
        }
    } else {
        Counted(horn, reading.Outcome, out);
    }
    sink_(std::move(out));
}

void THornRegistry::PolledStatus(std::size_t horn, const TStatusReading& reading) {
    const std::lock_guard lock(m_);
    TEvents out;
    Counted(horn, reading.Outcome, out);
    if (reading.Outcome.Ok()) {
        THornState state = horns_.at(horn).State;
        state.Output = reading.Status.Output != 0;
        state.Input = reading.Status.Input != 0;
        state.Armed = reading.Status.Armed != 0;
        state.RssiDbm = RssiKnown(reading.Status.RssiRaw)
                            ? std::optional(RssiDbm(reading.Status.RssiRaw))
                            : std::nullopt;
        SetState(horn, state, out);
    }
    sink_(std::move(out));
}

void THornRegistry::Resolve(std::size_t index, const TCommand& command, const TOutcome& outcome,
                            TEvents& out) {
    THorn& h = horns_[index];
    THornEvent e = Event(THornEvent::TKind::CommandDone, index);
    e.Command = command;
    e.Outcome = outcome;
    if (command.Seq != h.NextResult) {
        h.Held.emplace(command.Seq, std::move(e));
        return;
    }
    out.push_back(std::move(e));
    ++h.NextResult;
    for (auto next = h.Held.find(h.NextResult); next != h.Held.end();
         next = h.Held.find(h.NextResult)) {
        out.push_back(std::move(next->second));
        h.Held.erase(next);
        ++h.NextResult;
    }
}

void THornRegistry::FailQueued(std::size_t index, const TOutcome& outcome, bool keepOffs,
                               TEvents& out) {
    auto& queue = horns_[index].Queue;
    std::deque<TCommand> kept;
    for (const auto& c : queue) {
        if (keepOffs && c.IsOff())
            kept.push_back(c);
        else
            Resolve(index, c, outcome, out);
    }
    queue.swap(kept);
}

bool THornRegistry::Submit(std::size_t horn, TCommand command) {
    const std::lock_guard lock(m_);
    THorn& h = horns_.at(horn);
    command.Seq = h.NextSeq++;
    TEvents out;
    auto answer = [&](const TOutcome& outcome) {
        Resolve(horn, command, outcome, out);
        sink_(std::move(out));
        return false;
    };
    if (closed_) return answer(WithMessage(TOutcomeKind::Cancelled, "the program is stopping"));
    auto& queue = h.Queue;
    const TOutcome superseded =
        WithMessage(TOutcomeKind::Cancelled, "superseded by a newer command");
    if (command.IsOff()) {
        // A stop is never refused and waits for nothing but the command now running: it ends
        // every waiting relay command and goes ahead of the rest.
        std::deque<TCommand> kept;
        for (const auto& c : queue) {
            if (c.Kind == TCommandKind::Relay)
                Resolve(horn, c, superseded, out);
            else
                kept.push_back(c);
        }
        kept.push_front(command);
        queue.swap(kept);
        sink_(std::move(out));
        return true;
    }
    if (h.Presence.State() == TPresence::Offline) return answer(Offline());
    const auto waitingRelay = std::find_if(queue.begin(), queue.end(), [](const TCommand& c) {
        return c.Kind == TCommandKind::Relay;
    });
    if (command.Kind == TCommandKind::Relay && waitingRelay != queue.end()) {
        Resolve(horn, *waitingRelay, superseded, out);
        *waitingRelay = command;
        sink_(std::move(out));
        return true;
    }
    if (queue.size() >= options_.MaxQueued)
        return answer(WithMessage(TOutcomeKind::Busy, "too many commands waiting for this horn"));
    queue.push_back(command);
    return true;
}

void THornRegistry::Reject(std::size_t horn, TCommand command, TOutcome outcome) {
    const std::lock_guard lock(m_);
    THorn& h = horns_.at(horn);
    command.Seq = h.NextSeq++;
    TEvents out;
    Resolve(horn, command, outcome, out);
    sink_(std::move(out));
}

std::optional<TCommand> THornRegistry::NextCommand(std::size_t horn) {
    const std::lock_guard lock(m_);
    THorn& h = horns_.at(horn);
    if (h.Queue.empty() || closed_) return std::nullopt;
    TCommand c = h.Queue.front();
    h.Queue.pop_front();
    // Without a tone, the horn's tone when the command runs, not when it came.
    c.SendTone = c.Tone.value_or(h.State.Tone);
    return c;
}

void THornRegistry::RelayDone(std::size_t horn, const TCommand& command,
                              const TRelayReading& reading) {
    const std::lock_guard lock(m_);
    TEvents out;
    Counted(horn, reading.Outcome, out);
    if (reading.Outcome.Ok()) {
        THornState state = horns_.at(horn).State;
        state.Output = reading.Output != 0;
        state.Input = reading.Input != 0;
        if (command.On && command.Tone) state.Tone = *command.Tone;
        SetState(horn, state, out);
    }
    Resolve(horn, command, reading.Outcome, out);
    sink_(std::move(out));
}

void THornRegistry::CommandDone(std::size_t horn, const TCommand& command,
                                const TOutcome& outcome) {
    const std::lock_guard lock(m_);
    TEvents out;
    Counted(horn, outcome, out);
    if (outcome.Ok() && command.Kind == TCommandKind::Reboot) horns_.at(horn).NeedInfo = true;
    Resolve(horn, command, outcome, out);
    sink_(std::move(out));
}

void THornRegistry::Close() {
    const std::lock_guard lock(m_);
    if (closed_) return;
    closed_ = true;
    TEvents out;
    for (std::size_t i = 0; i < horns_.size(); ++i)
        FailQueued(i, WithMessage(TOutcomeKind::Cancelled, "the program is stopping"), false, out);
    sink_(std::move(out));
}

bool THornRegistry::Closed() const {
    const std::lock_guard lock(m_);
    return closed_;
}

}  // namespace kstbell::site
