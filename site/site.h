#pragma once

// A site: its horns' sessions, the registry of what is known about them, the runner that drives
// each on its own, and the book of rings with the clock that ends them. Fronts (MQTT, HTTP, the
// command line) and the service's audit log hear of everything through a listener; they ask for
// rings, stops and commands through the site, and never talk to a session.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ports/host_network_source.h"
#include "site/horn_registry.h"
#include "site/horn_runner.h"
#include "site/poll_stats.h"
#include "site/ring_book.h"
#include "site/ring_tally.h"
#include "site/session_set.h"

namespace kstbell::site {

// Where rings are kept so that a restart finds them.
class IRingJournal {
  public:
    virtual ~IRingJournal() = default;
    // Keeps a ring before any of its horns is switched on: true once it is stored for good.
    virtual bool Record(const TRingRecord& ring) = 0;
    virtual void Ended(const TRingEnd& end, TInstant when) = 0;
    virtual void ConfirmedOff(std::uint64_t ring, std::size_t horn, TInstant when) = 0;
};

// What happens at the site. Calls come from the site's threads, in the order things happened;
// a listener must only note or queue, never wait, and never call back into the site.
class ISiteListener {
  public:
    virtual ~ISiteListener() = default;
    virtual void OnHornEvents(const std::vector<THornEvent>& events) = 0;
    virtual void OnRingStarted(const TRingStart& start) = 0;
    virtual void OnRingEnded(const TRingEnd& end, TCause cause, TInstant when) = 0;
    // A horn found sounding that no ring holds (told off when the rules say so).
    virtual void OnUnowned(std::size_t horn, TInstant when) = 0;
    // What became of a ring's switch-on at its horns: once every horn answered, or at the
    // ring's end with those that did not yet; always after OnRingStarted and before
    // OnRingEnded of that ring.
    virtual void OnRingSwitched(const TRingSwitches& switches) { (void)switches; }
};

struct TSiteConfig {
    std::vector<THornEntry> Horns;
    TSessionOptions Sessions;
    TRegistryOptions Registry;
    TMillis PollPeriod{3100};
    TRingRules Rings;
    // The wall clock that names rings' starts and ends in their records (tests move it); the
    // system's when empty. Rings are timed on the steady clock whatever it says.
    std::function<TInstant()> WallClock;
};

class TSite {
  public:
    // journal may be null (rings are then not kept across restarts).
    TSite(TSiteConfig config, IHostNetworkSource& network, IRingJournal* journal,
          ISiteListener& listener);
    ~TSite();
    TSite(const TSite&) = delete;
    TSite& operator=(const TSite&) = delete;

    // Before Start: the rings found in the store after a restart (see TRingBook::Restore).
    void Restore(const std::vector<TRingRecord>& running,
                 const std::vector<TRingEnd>& endedUnconfirmed);
    // Starts polling and the ring clock.
    void Start();
    // Before Stop, when the service ends: no ring starts from now on, every ring and alarm ends
    // (cause) and its horns are told off; returns once each of them is seen off, or after bound
    // with the horns not seen off (their rings stay in the journal for the next start).
    struct TRingsEnded {
        std::size_t Rings = 0;
        std::vector<std::size_t> Horns;    // told off
        std::vector<std::size_t> StillOn;  // of those, not seen off within the bound
    };
    TRingsEnded EndRings(TCause cause, TMillis bound);
    // Waiting commands end cancelled, running requests finish, the clock stops. Rings stay in the
    // journal as they are: a restart takes them up. Idempotent.
    void Stop();

    std::size_t Count() const { return registry_.Count(); }
    const THornRegistry& Registry() const { return registry_; }
    THornRegistry& Registry() { return registry_; }
    const TSiteConfig& Config() const { return config_; }

    // A command straight to a horn, outside any ring. True when it waits to run.
    bool Submit(std::size_t horn, TCommand command);
    // Starts a ring: kept in the journal first, then its horns are switched on. A ring the
    // journal cannot keep is not started (Record.Id is then 0). A horn that is offline, or that
    // the switch-on does not reach, is switched on when it answers again while the ring sounds.
    TRingStart Ring(TRingOrder order);
    // What became of the ring's switch-on at its horns, once all answered or after within at
    // most; nothing for a ring the site does not know (any more).
    std::optional<TRingSwitches> AwaitSwitches(std::uint64_t ring, TMillis within) const;
    // How long a front may wait for a switch-on: one reply wait, with room to spare.
    TMillis SwitchWait() const;
    // Stops: one ring, whatever holds a horn (and the horn, held or not), or everything. A stop
    // is never refused.
    void StopRing(std::uint64_t ring, TCause cause);
    void StopHorn(std::size_t horn, TCause cause, const std::string& tag = {});
    void StopAll(TCause cause);
    std::vector<TRingRecord> ActiveRings() const;
    // Per horn: the ring that holds it now, 0 for none.
    std::vector<std::uint64_t> Holders() const;
    // How the polls went: their durations and each horn's last answered poll.
    TPollSnapshot Polls() const { return polls_.Snapshot(); }

  private:
    void Poll(std::size_t horn);
    void RunCommands(std::size_t horn);
    void ClockLoop();
    TNow Now() const;
    // With bookMutex_ held: journals and carries out what the book asks for.
    void Apply(const TRingUpdate& u, TCause cause, TInstant now, const std::string& tag = {},
               TCause switchCause = TCause::Service);
    void Switch(const TSwitch& s, const std::string& tag, TCause cause);
    void ObserveOutput(std::size_t horn, bool output);

    TSiteConfig config_;
    // Set when the site stops: a request waiting for another program's transfer gives up.
    std::atomic<bool> stopFlag_{false};
    IRingJournal* journal_;
    ISiteListener& listener_;
    TRingTally tally_;
    TSessionSet sessions_;
    THornRegistry registry_;
    TPollStats polls_;
    std::unique_ptr<THornRunner> runner_;

    mutable std::mutex bookMutex_;
    std::condition_variable clockWake_;
    std::condition_variable seenOff_;  // a horn's output was reported
    TRingBook book_;
    bool closing_ = false;  // EndRings: no ring starts any more
    bool stopping_ = false;
    bool started_ = false;
    std::thread clock_;
};

}  // namespace kstbell::site
