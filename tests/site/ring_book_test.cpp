// The ring book: every ring ends, overlaps on a horn follow priority and end, the off is repeated
// until a horn is seen off, unowned sounding horns are stopped, and a restart takes rings up.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site/ring_book.h"

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

}  // namespace
}  // namespace kstbell::site
