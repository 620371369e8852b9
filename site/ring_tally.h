#pragma once

// What became of a ring's switch-on at each horn it took: switched on, not switched on (the
// horn known offline, or the command's outcome), or no answer yet. The site opens a tally when a
// ring starts and closes it when the ring ends; it is complete once every horn has answered, and
// is handed to the sink once, when complete or at the ring's end, whichever comes first. A front
// may wait for it, for a bounded time; no horn waits for another.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "site/horn.h"

namespace kstbell::site {

enum class TSwitchOn { Pending, On, Offline, Failed };

struct THornSwitchOn {
    std::size_t Horn = 0;
    TSwitchOn State = TSwitchOn::Pending;
    TOutcome Outcome;  // Failed: why
};

struct TRingSwitches {
    std::uint64_t Ring = 0;
    std::vector<THornSwitchOn> Horns;  // the horns the ring took, in its order

    std::size_t Count(TSwitchOn state) const;
    bool Complete() const { return Count(TSwitchOn::Pending) == 0; }
    // Every horn it took has answered and none switched on. A ring that took no horn (all kept
    // by rings of higher priority) is not one.
    bool NoneOn() const { return !Horns.empty() && Complete() && Count(TSwitchOn::On) == 0; }
};

class TRingTally {
  public:
    // Called under the tally's lock (and the caller's): it must only note or queue.
    using TSink = std::function<void(const TRingSwitches&)>;

    explicit TRingTally(TSink sink);

    void Open(std::uint64_t ring, const std::vector<std::size_t>& horns);
    // The horn was known offline when the ring started: it is not switched on.
    void Offline(std::uint64_t ring, std::size_t horn);
    // The results of switch-on commands among a horn's events. A cancelled command counts for
    // nothing: a newer one took its place, or the ring let the horn go.
    void Note(const std::vector<THornEvent>& events);
    // The ring ended: its tally goes to the sink as it stands, unless it went already.
    void Close(std::uint64_t ring);
    // The site stops: every tally not handed on yet goes to the sink as it stands.
    void CloseAll();
    // The ring's tally once complete, or as it stands at the deadline; nothing for a ring it
    // does not know (or no longer keeps).
    std::optional<TRingSwitches> Wait(std::uint64_t ring,
                                      std::chrono::steady_clock::time_point until) const;

  private:
    struct TEntry {
        TRingSwitches Switches;
        bool Told = false;
    };

    void Resolve(std::uint64_t ring, std::size_t horn, TSwitchOn state, const TOutcome& outcome);
    void Tell(std::uint64_t ring, TEntry& entry);

    TSink sink_;
    mutable std::mutex m_;
    mutable std::condition_variable changed_;
    std::map<std::uint64_t, TEntry> rings_;
    std::deque<std::uint64_t> told_;  // the rings handed on, oldest first, kept for late waiters
};

}  // namespace kstbell::site
