// When a horn's input starts its alarm, over time on a fake clock: presses with and without a
// debounce, bounces, a stuck contact, the hold-off, a horn lost mid-press, a clock set back.

#include <gtest/gtest.h>

#include "alarms/input_triggers.h"

namespace kstbell::alarms {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

enum class TDo { On, Off, Due, Lost };

struct TEvent {
    std::int64_t AtMs;
    TDo Do;
    bool Starts = false;  // horn 0's alarm starts here
    // After the event: when a debounce ends, in ms, if one is running.
    std::optional<std::int64_t> DeadlineMs = std::nullopt;
};

struct TCase {
    const char* Name;
    TInputRule Rule;
    std::vector<TEvent> Events;
};

TEST(AlarmTriggerTest, AnInputStartsItsAlarmOncePerPressAndHoldOff) {
    const TInputRule plain{"evacuation", milliseconds{0}, seconds{300}};
    const TInputRule debounced{"evacuation", milliseconds{1000}, seconds{300}};
    const TCase cases[] = {
        {"the first reading on starts it; a stuck contact does not start it again",
         plain,
         {{0, TDo::Off},
          {3000, TDo::On, true},
          {6000, TDo::On},
          {400000, TDo::On},
          {900000, TDo::Due},
          {903000, TDo::On}}},
        {"after reading off, the hold-off since the start must pass",
         plain,
         {{0, TDo::On, true},
          {3000, TDo::Off},
          {6000, TDo::On},
          {299999, TDo::On},
          {300000, TDo::On, true},
          {303000, TDo::On}}},
        {"a press during the hold-off that stays on counts once it has passed",
         plain,
         {{0, TDo::On, true}, {3000, TDo::Off}, {200000, TDo::On}, {302000, TDo::On, true}}},
        {"debounced: still on when the debounce has passed",
         debounced,
         {{0, TDo::On, false, 1000},
          {999, TDo::Due, false, 1000},
          {1000, TDo::Due, true},
          {1001, TDo::Due}}},
        {"debounced: a reading on after the debounce starts it without Due",
         debounced,
         {{0, TDo::On, false, 1000}, {3000, TDo::On, true}, {3001, TDo::Due}}},
        {"debounced: an off reading within the debounce is a bounce",
         debounced,
         {{0, TDo::On, false, 1000},
          {500, TDo::Off},
          {1000, TDo::Due},
          {1200, TDo::On, false, 2200},
          {2200, TDo::Due, true}}},
        {"further readings on do not move the debounce",
         debounced,
         {{0, TDo::On, false, 1000}, {600, TDo::On, false, 1000}, {1000, TDo::Due, true}}},
        {"a horn lost mid-press forgets it; the stuck contact is still remembered",
         debounced,
         {{0, TDo::On, false, 1000},
          {500, TDo::Lost},
          {1000, TDo::Due},
          {4000, TDo::On, false, 5000},
          {5000, TDo::Due, true},
          {6000, TDo::Lost},
          {400000, TDo::On},
          {401000, TDo::Due}}},
        {"no hold-off: every new press starts it",
         {"lockdown", milliseconds{0}, seconds{0}},
         {{0, TDo::On, true}, {3000, TDo::On}, {6000, TDo::Off}, {9000, TDo::On, true}}},
        {"a clock set back an hour holds the input off for the hold-off, not an hour more",
         plain,
         {{0, TDo::On, true},
          {3000, TDo::Off},
          {-3600000, TDo::On},
          {-3300001, TDo::On},
          {-3300000, TDo::On, true}}},
        {"a clock set back during a debounce restarts it",
         debounced,
         {{0, TDo::On, false, 1000},
          {-3600000, TDo::On, false, -3599000},
          {-3599000, TDo::Due, true}}},
    };
    const site::TInstant t0{seconds{1'800'000'000}};
    for (const auto& c : cases) {
        // Horn 1 has no rule; horn 0 has the case's.
        TInputTriggers triggers({c.Rule, std::nullopt});
        for (const auto& e : c.Events) {
            const site::TInstant now = t0 + milliseconds{e.AtMs};
            std::vector<std::string> started;
            switch (e.Do) {
                case TDo::On:
                case TDo::Off:
                    if (auto alarm = triggers.Observed(0, e.Do == TDo::On, now))
                        started.push_back(*alarm);
                    EXPECT_FALSE(triggers.Observed(1, e.Do == TDo::On, now)) << c.Name;
                    EXPECT_FALSE(triggers.Observed(7, e.Do == TDo::On, now)) << c.Name;
                    break;
                case TDo::Due:
                    for (const auto& [horn, alarm] : triggers.Due(now)) {
                        EXPECT_EQ(horn, 0u) << c.Name;
                        started.push_back(alarm);
                    }
                    break;
                case TDo::Lost:
                    triggers.Lost(0);
                    triggers.Lost(7);
                    break;
            }
            const auto expected =
                e.Starts ? std::vector<std::string>{c.Rule.Alarm} : std::vector<std::string>{};
            EXPECT_EQ(started, expected) << c.Name << ", at " << e.AtMs << " ms";
            std::optional<site::TInstant> deadline;
            if (e.DeadlineMs) deadline = t0 + milliseconds{*e.DeadlineMs};
            EXPECT_EQ(triggers.NextDeadline(), deadline) << c.Name << ", at " << e.AtMs << " ms";
        }
    }
}

}  // namespace
}  // namespace kstbell::alarms
