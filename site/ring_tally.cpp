#include "site/ring_tally.h"

#include <algorithm>

namespace kstbell::site {

namespace {

// Tallies handed on are kept this long (in rings) for a front that asks after the fact.
constexpr std::size_t kToldKept = 256;

}  // namespace

std::size_t TRingSwitches::Count(TSwitchOn state) const {
    return static_cast<std::size_t>(std::count_if(
        Horns.begin(), Horns.end(), [&](const THornSwitchOn& h) { return h.State == state; }));
}

TRingTally::TRingTally(TSink sink) : sink_(std::move(sink)) {}

void TRingTally::Open(std::uint64_t ring, const std::vector<std::size_t>& horns) {
    const std::lock_guard lock(m_);
    TEntry& entry = rings_[ring];
    entry.Switches.Ring = ring;
    for (std::size_t h : horns)
        entry.Switches.Horns.push_back({h, TSwitchOn::Pending, {}});
    if (entry.Switches.Complete()) Tell(ring, entry);
}

void TRingTally::Offline(std::uint64_t ring, std::size_t horn) {
    const std::lock_guard lock(m_);
    Resolve(ring, horn, TSwitchOn::Offline, {TOutcomeKind::Unreachable});
}

void TRingTally::Note(const std::vector<THornEvent>& events) {
    const std::lock_guard lock(m_);
    for (const auto& e : events) {
        const TCommand& c = e.Command;
        if (e.Kind != THornEvent::TKind::CommandDone || c.Kind != TCommandKind::Relay || !c.On ||
            c.Ring == 0 || e.Outcome.Kind == TOutcomeKind::Cancelled)
            continue;
        Resolve(c.Ring, e.View.Index, e.Outcome.Ok() ? TSwitchOn::On : TSwitchOn::Failed,
                e.Outcome);
    }
}

void TRingTally::Resolve(std::uint64_t ring, std::size_t horn, TSwitchOn state,
                         const TOutcome& outcome) {
    const auto found = rings_.find(ring);
    if (found == rings_.end() || found->second.Told) return;
    for (auto& h : found->second.Switches.Horns) {
        if (h.Horn != horn || h.State != TSwitchOn::Pending) continue;
        h.State = state;
        h.Outcome = outcome;
        changed_.notify_all();
        if (found->second.Switches.Complete()) Tell(ring, found->second);
        return;
    }
}

void TRingTally::Tell(std::uint64_t ring, TEntry& entry) {
    entry.Told = true;
    changed_.notify_all();
    if (sink_) sink_(entry.Switches);
    told_.push_back(ring);
    while (told_.size() > kToldKept) {
        rings_.erase(told_.front());
        told_.pop_front();
    }
}

void TRingTally::Close(std::uint64_t ring) {
    const std::lock_guard lock(m_);
    const auto found = rings_.find(ring);
    if (found != rings_.end() && !found->second.Told) Tell(ring, found->second);
}

void TRingTally::CloseAll() {
    const std::lock_guard lock(m_);
    std::vector<std::uint64_t> open;
    for (const auto& [ring, entry] : rings_)
        if (!entry.Told) open.push_back(ring);
    for (std::uint64_t ring : open)
        Tell(ring, rings_.at(ring));
}

std::optional<TRingSwitches> TRingTally::Wait(std::uint64_t ring,
                                              std::chrono::steady_clock::time_point until) const {
    std::unique_lock lock(m_);
    const auto settled = [&] {
        const auto found = rings_.find(ring);
        return found == rings_.end() || found->second.Told;
    };
    changed_.wait_until(lock, until, settled);
    const auto found = rings_.find(ring);
    if (found == rings_.end()) return std::nullopt;
    return found->second.Switches;
}

}  // namespace kstbell::site
