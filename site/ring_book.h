#pragma once

// The rings of a site, as a state machine driven by the caller's clock: which ring holds each
// horn, what each horn must be told when a ring starts, steps through its pattern or ends, and
// what a horn's reported output asks for. Every ring has an end. When it ends, its horns are
// told off, and told again at every report of an output that is still on, until a report shows
// it off; a horn that sounds while no ring holds it is told off as well (when the rules say so).
//
// Overlaps on one horn: a ring of higher priority takes the horn from a lower one, which does not
// get it back; between rings of equal priority the one that ends last holds the horn.
//
// The book holds no thread and does no I/O: the caller records rings before it carries out the
// switches the book asks for, and tells the book the time.
//
// Lengths are measured on a clock that nobody sets (TSteady): a ring, or an alarm's step, lasts
// as long as it should whatever is done to the wall clock meanwhile. The wall clock only names
// a ring's start and end in its record (what is stored and shown): the end recorded is the
// wall-clock start plus the ring's length, and a restart maps it back onto the steady clock.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "site/horn.h"

namespace kstbell::site {

using TSteady = std::chrono::steady_clock::time_point;

// The same moment on both clocks.
struct TNow {
    TSteady Steady;
    TInstant Wall;
};

// One step of a pattern: sounding for On (with Tone, or the ring's tone), then silent for Off.
struct TPatternStep {
    TMillis On{0};
    TMillis Off{0};
    std::optional<std::uint8_t> Tone;
};

struct TRingOrder {
    std::vector<std::size_t> Horns;
    std::uint8_t Tone = 0;
    // How long it sounds: a steady ring's length (clamped to the rules' longest), or, with a
    // pattern, ignored: the pattern times Repeat is the ring's length.
    TMillis Duration{0};
    std::vector<TPatternStep> Pattern;
    int Repeat = 1;
    int Priority = 0;
    // Whether a horn that reports its output off while the ring has it sounding is told on again
    // (alarms), or not (a bell is not rung late).
    bool Insist = false;
    TCause Cause = TCause::Service;
    std::string Actor;  // the user, token or program that asked; may be empty
    std::string Label;  // what it is: an alarm's name, a bell's plan and time; may be empty
    std::string Tag;    // the sender's own mark, handed back
};

struct TRingRules {
    TMillis MaxRing = std::chrono::seconds(180);
    bool StopUnowned = true;
};

struct TRingRecord {
    std::uint64_t Id = 0;
    // On the wall clock, as recorded: the start, and the start plus the ring's length.
    TInstant Start;
    TInstant End;
    TRingOrder Order;
};

struct TSwitch {
    std::size_t Horn = 0;
    bool On = false;
    std::uint8_t Tone = 0;
    std::uint64_t Ring = 0;  // the ring that asks for it; 0 for an unowned horn told off
};

// What a start did.
struct TRingStart {
    TRingRecord Record;
    bool Clamped = false;                   // the duration asked for was longer than allowed
    std::vector<std::size_t> Taken;         // horns the ring holds
    std::vector<std::size_t> HeldByOthers;  // horns a ring of higher priority (or one that ends
                                            // later) keeps
    std::vector<TSwitch> Switches;
};

// A ring whose end came, or that was stopped, and the horns it still held.
struct TRingEnd {
    std::uint64_t Ring = 0;
    bool Stopped = false;  // ended before its time (stopped), rather than by its end
    std::vector<std::size_t> Horns;
};

// What the passing of time or a report asks for.
struct TRingUpdate {
    std::vector<TSwitch> Switches;
    std::vector<TRingEnd> Ended;
    // Horns now confirmed off after their rings ended: (ring, horn).
    std::vector<std::pair<std::uint64_t, std::size_t>> ConfirmedOff;
    // Horns found sounding with no ring holding them (told off when the rules say so).
    std::vector<std::size_t> Unowned;
};

class TRingBook {
  public:
    TRingBook(std::size_t horns, TRingRules rules, std::uint64_t firstId = 1);

    // Starts a ring now. Its record (id, start, end) is to be stored before the switches go out.
    TRingStart Start(TRingOrder order, TNow now);
    // Ends rings before their time: one ring, every ring that holds a horn, or all rings.
    TRingUpdate Stop(std::uint64_t ring);
    TRingUpdate StopHorn(std::size_t horn);
    TRingUpdate StopAll();
    // Ends the rings whose end has come and steps the patterns.
    TRingUpdate Advance(TSteady now);
    // The next instant at which Advance has something to do, if any.
    std::optional<TSteady> NextDeadline() const;
    // A horn reported its output (a poll or a command's answer). A horn that the ring holding it
    // could not switch on (see Owe) is switched on when it reports its output off while the
    // ring sounds; one that was on and reports off by itself is told on again only by a ring
    // that insists.
    TRingUpdate Observed(std::size_t horn, bool output);
    // The ring's switch-on did not reach the horn (offline, no reply, refused): it is owed one.
    void Owe(std::size_t horn, std::uint64_t ring);

    // After a restart: rings found in the store. Those still running hold their horns again
    // (nothing is switched on); the horns of those that ended are told off until confirmed.
    // Their wall-clock start and end are placed on the steady clock as they stand from now.
    TRingUpdate Restore(const std::vector<TRingRecord>& running,
                        const std::vector<TRingEnd>& endedUnconfirmed, TNow now);

    std::vector<TRingRecord> Active() const;
    // The ring holding the horn, if any.
    std::optional<std::uint64_t> Holder(std::size_t horn) const;
    // Whether the horn is to be off and not yet seen off.
    bool WantsOff(std::size_t horn) const;
    std::uint64_t NextId() const { return nextId_; }

  private:
    struct TRing {
        TRingRecord Record;
        TSteady Begin;  // Record.Start and Record.End on the steady clock
        TSteady Finish;
        std::vector<std::size_t> Horns;  // those it still holds
        // The pattern's current step: index into the pattern, the repetition, and whether the
        // step sounds; NextStep is when it changes.
        std::size_t Step = 0;
        int Round = 0;
        bool Sounding = true;
        TSteady NextStep;
    };
    struct THorn {
        std::uint64_t Holder = 0;
        std::uint64_t Owed = 0;  // the holder whose switch-on did not reach the horn
        bool WantOff = false;
        std::vector<std::uint64_t> Pending;  // ended rings waiting for this horn's off
        bool Output = false;
    };

    std::uint8_t SoundingTone(const TRing& r) const;
    void Release(std::size_t horn, std::uint64_t ring, TRingUpdate& u);
    void EndRing(std::map<std::uint64_t, TRing>::iterator it, bool stopped, TRingUpdate& u);
    void StepPattern(TRing& r, TSteady now, TRingUpdate& u);

    TRingRules rules_;
    std::uint64_t nextId_;
    std::vector<THorn> horns_;
    std::map<std::uint64_t, TRing> rings_;
};

}  // namespace kstbell::site
