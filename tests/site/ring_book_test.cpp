// The ring book: every ring ends, overlaps on a horn follow priority and end, the off is repeated
// until a horn is seen off, unowned sounding horns are stopped, and a restart takes rings up.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site/ring_book.h"
#include "site/ring_tally.h"

namespace kstbell::site {
namespace {

using namespace std::chrono_literals;

// The book's clock, and the wall clock at the same moment.
const TSteady t0 = TSteady{} + std::chrono::hours(1000);
const TInstant w0 = TInstant{} + std::chrono::hours(24 * 365 * 50);

TNow At(TSteady at) {
    return {at, w0 + (at - t0)};
}

TRingOrder Steady(std::vector<std::size_t> horns, TMillis duration, int priority = 0,
                  std::uint8_t tone = 1) {
    TRingOrder s;
    s.Horns = std::move(horns);
    s.Duration = duration;
    s.Priority = priority;
    s.Tone = tone;
    return s;
}

// "3+1" for horn 3 on with tone 1, "3-" for horn 3 off.
std::vector<std::string> Text(const std::vector<TSwitch>& switches) {
    std::vector<std::string> out;
    for (const auto& s : switches)
        out.push_back(std::to_string(s.Horn) + (s.On ? "+" + std::to_string(s.Tone) : "-"));
    return out;
}

using TTexts = std::vector<std::string>;

TEST(RingBookTest, OverlapsFollowPriorityThenTheLaterEndAndEveryRingEnds) {
    struct Case {
        const char* name;
        std::vector<TRingOrder> rings;                  // started 1 s apart
        TTexts startSwitches;                           // all the starts' switches in order
        std::vector<std::pair<TMillis, TTexts>> later;  // Advance at t0 + ms: its switches
    } cases[] = {
        {"a lone ring sounds and ends",
         {Steady({0, 1}, 5s)},
         {"0+1", "1+1"},
         {{4999ms, {}}, {5000ms, {"0-", "1-"}}}},
        {"a longer ring of equal priority takes the horn, the shorter one ends without it",
         {Steady({0}, 5s), Steady({0}, 10s, 0, 2)},
         {"0+1", "0+2"},
         {{5000ms, {}}, {11000ms, {"0-"}}}},
        {"a shorter ring of equal priority leaves the horn to the longer one",
         {Steady({0}, 10s), Steady({0}, 2s, 0, 2)},
         {"0+1"},
         {{3000ms, {}}, {10000ms, {"0-"}}}},
        {"a higher priority takes the horn and the lower one does not resume",
         {Steady({0, 1}, 60s), Steady({0}, 5s, 10, 3)},
         {"0+1", "1+1", "0+3"},
         {{6000ms, {"0-"}}, {30000ms, {}}, {60000ms, {"1-"}}}},
        {"a lower priority gets nothing while a higher one holds the horn",
         {Steady({0}, 30s, 10), Steady({0}, 60s, 0, 2)},
         {"0+1"},
         {{30000ms, {"0-"}}, {61000ms, {}}}},
        {"a ring longer than allowed is clamped",
         {Steady({0}, 3600s)},
         {"0+1"},
         {{180000ms, {"0-"}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TRingBook book(3, {});
        TTexts started;
        TSteady at = t0;
        for (const auto& order : c.rings) {
            for (auto& s : Text(book.Start(order, At(at)).Switches))
                started.push_back(s);
            at += 1s;
        }
        EXPECT_EQ(started, c.startSwitches);
        for (const auto& [when, expected] : c.later)
            EXPECT_EQ(Text(book.Advance(t0 + when).Switches), expected) << when.count();
        EXPECT_FALSE(book.NextDeadline()) << "a ring did not end";
    }
}

TEST(RingBookTest, AnEndedRingsOffIsRepeatedUntilTheHornIsSeenOffAndUnownedHornsAreStopped) {
    TRingBook book(2, {});
    const auto start = book.Start(Steady({0}, 10s), At(t0));
    EXPECT_TRUE(start.Record.End == w0 + 10s);
    EXPECT_TRUE(Text(book.Observed(0, true).Switches).empty()) << "held: left alone";
    EXPECT_EQ(Text(book.Advance(t0 + 10s).Switches), TTexts{"0-"});
    // The horn was offline at the end: every report that it sounds is answered with an off.
    EXPECT_EQ(Text(book.Observed(0, true).Switches), TTexts{"0-"});
    EXPECT_EQ(Text(book.Observed(0, true).Switches), TTexts{"0-"});
    const TRingUpdate off = book.Observed(0, false);
    ASSERT_EQ(off.ConfirmedOff.size(), 1u);
    EXPECT_EQ(off.ConfirmedOff[0].first, start.Record.Id);
    EXPECT_FALSE(book.WantsOff(0));
    // Switched on by something else, with no ring holding it: told off.
    const TRingUpdate unowned = book.Observed(1, true);
    EXPECT_EQ(unowned.Unowned, (std::vector<std::size_t>{1}));
    EXPECT_EQ(Text(unowned.Switches), TTexts{"1-"});
    TRingRules keep;
    keep.StopUnowned = false;
    TRingBook lenient(2, keep);
    EXPECT_TRUE(lenient.Observed(1, true).Switches.empty());
    // Stop all ends every ring and tells every horn off, held or not.
    book.Start(Steady({1}, 60s), At(t0 + 30s));
    const TRingUpdate all = book.StopAll();
    EXPECT_EQ(all.Ended.size(), 1u);
    EXPECT_EQ(Text(all.Switches), (TTexts{"1-", "0-"}));
    EXPECT_FALSE(book.NextDeadline());
}

TEST(RingBookTest, PatternsStepAndAlarmsInsistAndARestartTakesRingsUp) {
    TRingOrder alarm;
    alarm.Horns = {0};
    alarm.Pattern = {{1000ms, 500ms, 3}, {2000ms, 0ms, std::nullopt}};
    alarm.Tone = 2;
    alarm.Repeat = 2;
    alarm.Insist = true;
    alarm.Priority = 100;
    TRingBook book(1, {});
    const auto start = book.Start(alarm, At(t0));
    EXPECT_EQ(Text(start.Switches), TTexts{"0+3"});
    EXPECT_TRUE(start.Record.End == w0 + 7000ms);
    EXPECT_EQ(Text(book.Advance(t0 + 1000ms).Switches), TTexts{"0-"});
    EXPECT_EQ(Text(book.Advance(t0 + 1500ms).Switches), TTexts{"0+2"});
    // The horn restarted and lost its output: the alarm switches it on again.
    EXPECT_EQ(Text(book.Observed(0, false).Switches), TTexts{"0+2"});
    EXPECT_EQ(Text(book.Advance(t0 + 3500ms).Switches), TTexts{"0+3"});
    EXPECT_EQ(Text(book.Advance(t0 + 7000ms).Switches), (TTexts{"0-", "0+2", "0-"}));

    // A restart: one ring still running holds its horn (a steady one is not switched on again),
    // one that ended while the service was down is told off, and ids go on after the last.
    TRingBook after(3, {});
    TRingRecord running{7, w0, w0 + 60s, Steady({0}, 60s)};
    TRingRecord missedEnd{8, w0, w0 + 5s, Steady({1}, 5s)};
    const TRingUpdate u = after.Restore({running, missedEnd}, {{5, false, {2}}}, At(t0 + 10s));
    EXPECT_EQ(Text(u.Switches), (TTexts{"2-", "1-"}));
    EXPECT_EQ(after.Holder(0), 7u);
    EXPECT_GE(after.NextId(), 9u);
    EXPECT_EQ(Text(after.Advance(t0 + 60s).Switches), TTexts{"0-"});
}

TEST(RingBookTest, AHornTheSwitchOnMissedIsSwitchedOnWhenSeenAgainButABellIsNotRungAgain) {
    // Steps on one book with horn 0 in the first ring (a bell: steady, not insisting).
    enum class TOp { Owe, OweOther, Seen, Start, Advance };
    struct Step {
        TOp op;
        bool output = false;  // Seen
        TMillis at{0};
        TTexts switches{};
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"a horn offline at the start is switched on when it reports off, once",
         {{TOp::Owe}, {TOp::Seen, false, 1s, {"0+1"}}, {TOp::Seen, false, 2s, {}}}},
        {"and again when that switch-on is missed too",
         {{TOp::Owe},
          {TOp::Seen, false, 1s, {"0+1"}},
          {TOp::Owe},
          {TOp::Seen, false, 2s, {"0+1"}}}},
        {"a horn seen on and then off by itself is not rung again",
         {{TOp::Seen, true, 1s, {}}, {TOp::Seen, false, 2s, {}}}},
        {"a horn owed but seen on (the answer was lost, the switch went) is owed nothing",
         {{TOp::Owe}, {TOp::Seen, true, 1s, {}}, {TOp::Seen, false, 2s, {}}}},
        {"a ring that does not hold the horn is owed nothing",
         {{TOp::OweOther}, {TOp::Seen, false, 1s, {}}}},
        {"a ring of higher priority that takes the horn ends what was owed",
         {{TOp::Owe}, {TOp::Start, false, 1s, {"0+3"}}, {TOp::Seen, false, 2s, {}}}},
        {"an ended ring owes nothing: the horn is only confirmed off",
         {{TOp::Owe}, {TOp::Advance, false, 60s, {"0-"}}, {TOp::Seen, false, 61s, {}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TRingBook book(2, {});
        const std::uint64_t id = book.Start(Steady({0, 1}, 60s), At(t0)).Record.Id;
        for (const auto& step : c.steps) {
            TTexts got;
            switch (step.op) {
                case TOp::Owe:
                    book.Owe(0, id);
                    break;
                case TOp::OweOther:
                    book.Owe(0, id + 1);
                    break;
                case TOp::Seen:
                    got = Text(book.Observed(0, step.output).Switches);
                    break;
                case TOp::Start:
                    got = Text(book.Start(Steady({0}, 5s, 10, 3), At(t0 + step.at)).Switches);
                    break;
                case TOp::Advance:
                    got = Text(book.Advance(t0 + step.at).Switches);
                    std::erase(got, "1-");  // the other horn ends too
                    break;
            }
            EXPECT_EQ(got, step.switches)
                << static_cast<int>(step.op) << " at " << step.at.count() << " ms";
        }
    }
}

// A switch-on result of horn for ring, as the registry hands it on.
THornEvent SwitchDone(std::size_t horn, std::uint64_t ring, TOutcomeKind kind, bool on = true) {
    THornEvent e;
    e.Kind = THornEvent::TKind::CommandDone;
    e.View.Index = horn;
    e.Command.Kind = TCommandKind::Relay;
    e.Command.On = on;
    e.Command.Ring = ring;
    e.Outcome.Kind = kind;
    return e;
}

// "0 on, 1 offline, 2 no_reply, 3 pending".
std::string Text(const TRingSwitches& s) {
    std::string out;
    for (const auto& h : s.Horns) {
        if (!out.empty()) out += ", ";
        out += std::to_string(h.Horn) + " ";
        switch (h.State) {
            case TSwitchOn::On:
                out += "on";
                break;
            case TSwitchOn::Offline:
                out += "offline";
                break;
            case TSwitchOn::Pending:
                out += "pending";
                break;
            case TSwitchOn::Failed:
                out += OutcomeKindName(h.Outcome.Kind);
                break;
        }
    }
    return out;
}

TEST(RingBookTest, TheTallyTellsEachRingOnceWhenEveryHornAnsweredOrAtItsEnd) {
    using K = TOutcomeKind;
    struct Case {
        const char* name;
        std::vector<std::size_t> horns;  // ring 5 takes them
        std::vector<std::size_t> offline;
        std::vector<THornEvent> events;
        bool toldBeforeTheEnd;
        std::string told;  // what the sink heard, once, by the ring's end
        bool noneOn;
    } cases[] = {
        {"every horn switched on",
         {0, 1},
         {},
         {SwitchDone(1, 5, K::Done), SwitchDone(0, 5, K::Done)},
         true,
         "0 on, 1 on",
         false},
        {"horns known offline are told at once, the rest when they answer",
         {0, 1, 2},
         {0, 2},
         {SwitchDone(0, 5, K::Unreachable), SwitchDone(1, 5, K::NoReply)},
         true,
         "0 offline, 1 no_reply, 2 offline",
         true},
        {"a cancelled switch-on (superseded) waits for the one that took its place",
         {0},
         {},
         {SwitchDone(0, 5, K::Cancelled), SwitchDone(0, 5, K::Refused)},
         true,
         "0 refused",
         true},
        {"results of other rings, of offs and of later steps count for nothing",
         {0, 1},
         {},
         {SwitchDone(0, 4, K::NoReply), SwitchDone(0, 5, K::NoReply, false),
          SwitchDone(0, 5, K::Done), SwitchDone(0, 5, K::NoReply)},
         false,
         "0 on, 1 pending",
         false},
        {"a ring that took no horn is told at once and is no failure", {}, {}, {}, true, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> told;
        TRingTally tally([&](const TRingSwitches& s) { told.push_back(Text(s)); });
        tally.Open(5, c.horns);
        for (std::size_t h : c.offline)
            tally.Offline(5, h);
        tally.Note(c.events);
        EXPECT_EQ(told.size(), c.toldBeforeTheEnd ? 1u : 0u);
        tally.Close(5);
        tally.Close(5);
        EXPECT_EQ(told, std::vector<std::string>{c.told});
        const auto seen = tally.Wait(5, std::chrono::steady_clock::now() + 10s);
        ASSERT_TRUE(seen.has_value());
        EXPECT_EQ(Text(*seen), c.told);
        EXPECT_EQ(seen->NoneOn(), c.noneOn);
    }
    // The site stops: every ring not told yet is told as it stands, once.
    std::vector<std::string> told;
    TRingTally tally([&](const TRingSwitches& s) { told.push_back(Text(s)); });
    tally.Open(1, {0});
    tally.Open(2, {1, 2});
    tally.Note({SwitchDone(1, 2, K::Done)});
    tally.CloseAll();
    tally.CloseAll();
    EXPECT_EQ(told, (std::vector<std::string>{"0 pending", "1 on, 2 pending"}));
}

}  // namespace
}  // namespace kstbell::site
