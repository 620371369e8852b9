#pragma once

// What a site knows about its horns, behind one lock that is only held for bookkeeping (never
// while a horn or a front is waited for): who answers at each address (identity by MAC, and
// another horn answering at an address), whether it answers (one presence rule), its last
// state, and the commands waiting for it. Every change leaves as a typed event, in the order it
// happened, through the sink, which is called under the lock and must only queue. Fronts read a
// consistent snapshot.
//
// Commands: a horn's commands run in the order they came, with two exceptions that keep a stop
// from ever waiting behind a start: a relay off is never refused and goes ahead of every waiting
// command, and a newer relay command takes the place of a waiting one (which ends cancelled).
// Results of one horn's commands leave in the order the commands came.

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/readings.h"
#include "site/horn.h"

namespace kstbell::site {

struct TRegistryOptions {
    // Every this many answered polls the information is asked again (location, firmware).
    int InfoEveryPolls = 100;
    // Commands one horn may have waiting; more are answered busy (a relay off always fits).
    std::size_t MaxQueued = 8;
};

struct THornEntry {
    std::string Address;
    std::string Name;
};

class THornRegistry {
  public:
    using TSink = std::function<void(std::vector<THornEvent>)>;

    THornRegistry(const std::vector<THornEntry>& horns, TRegistryOptions options, TSink sink);

    std::size_t Count() const { return horns_.size(); }
    const std::string& Address(std::size_t horn) const { return horns_.at(horn).Address; }
    std::optional<std::size_t> FindByMac(const TMac& mac) const;
    THornView View(std::size_t horn) const;
    std::vector<THornView> Snapshot() const;
    // Calls visit with the snapshot under the lock, so that no event can come between the
    // snapshot and what visit does with it (visit must only queue).
    void Visit(const std::function<void(const std::vector<THornView>&)>& visit) const;
    // Whether the last request to the horn went unanswered.
    bool Slow(std::size_t horn) const;
    // Whether the horn is known offline (its commands, but a relay off, are answered at once).
    bool KnownOffline(std::size_t horn) const;

    // Whether the next poll asks for the information (to identify the horn, or again after it
    // was offline, restarted, or a while went by) rather than the status.
    bool WantsInfo(std::size_t horn) const;
    void PolledInfo(std::size_t horn, const TInfoReading& reading);
    void PolledStatus(std::size_t horn, const TStatusReading& reading);

    // A command for the horn. True when it waits: the caller has its commands run. Otherwise its
    // result (offline, too many waiting, closed) has been given already.
    bool Submit(std::size_t horn, TCommand command);
    // A command its sender refused before it reached the horn: its result, in its place.
    void Reject(std::size_t horn, TCommand command, TOutcome outcome);
    // The horn's next command, if any, with the tone that goes out.
    std::optional<TCommand> NextCommand(std::size_t horn);
    void RelayDone(std::size_t horn, const TCommand& command, const TRelayReading& reading);
    void CommandDone(std::size_t horn, const TCommand& command, const TOutcome& outcome);

    // Every waiting command ends cancelled; none is taken or accepted any more. Idempotent.
    void Close();
    bool Closed() const;

  private:
    struct THorn {
        std::string Address;
        std::string Name;
        std::optional<THornIdentity> Identity;
        TPresenceTracker Presence;
        THornState State;
        bool NeedInfo = true;
        int PollsSinceInfo = 0;
        bool Warned = false;  // about another model or a MAC registered elsewhere
        bool Slow = false;
        std::deque<TCommand> Queue;
        std::uint64_t NextSeq = 1;
        std::uint64_t NextResult = 1;
        std::map<std::uint64_t, THornEvent> Held;  // results waiting for earlier ones
    };
    using TEvents = std::vector<THornEvent>;

    THornView MakeView(std::size_t index) const;
    THornEvent Event(THornEvent::TKind kind, std::size_t index) const;
    void Answered(std::size_t index, TEvents& out);
    void Missed(std::size_t index, TEvents& out);
    void Counted(std::size_t index, const TOutcome& outcome, TEvents& out);
    void Identify(std::size_t index, const TDeviceInfo& report, TEvents& out);
    void SetState(std::size_t index, const THornState& state, TEvents& out);
    void Resolve(std::size_t index, const TCommand& command, const TOutcome& outcome, TEvents& out);
    void FailQueued(std::size_t index, const TOutcome& outcome, bool keepOffs, TEvents& out);

    TRegistryOptions options_;
    TSink sink_;
    mutable std::mutex m_;
    std::vector<THorn> horns_;
    std::map<TMac, std::size_t> byMac_;
    bool closed_ = false;
};

}  // namespace kstbell::site
