// The service in this process over simulated horns: every ring ends whatever fails (a horn
// offline at the end, a restart, a horn found sounding), bells ring at their instant and bells
// missed while the service was down are recorded, and what the fronts ask (rings, stops,
// alarms, a horn's input) does what it says and is logged.

#include <gtest/gtest.h>

#include "platform/backends.h"
#include "service_fixture.h"
#include "site/session_set.h"

namespace kstbell::service::test {
namespace {

using namespace std::chrono;
using store::TAuditKind;

// The longest a ring may outlive its end while its horn answers: one poll period and one reply
// wait, with room for a loaded machine.
constexpr milliseconds kOffWithin{kPeriodMs + kReplyWaitMs + 1500};

site::TRingRequest RingOf(std::vector<std::size_t> horns, milliseconds duration) {
    site::TRingRequest r;
    r.Horns = std::move(horns);
    r.Tone = 1;
    r.Duration = duration;
    r.Cause = site::TCause::CommandLine;
    r.Actor = "tester";
    return r;
}

milliseconds Since(steady_clock::time_point from) {
    return duration_cast<milliseconds>(steady_clock::now() - from);
}

TEST(ServiceRingsTest, AHornOfflineAtTheEndIsSwitchedOffAsSoonAsItAnswers) {
    TServiceHarness h;
    h.Start();
    ASSERT_TRUE(Eventually([&] { return !h.Entries(TAuditKind::HornOnline).empty(); }));
    const auto answer = h.Service().Ring(RingOf({0}, 1500ms));
    ASSERT_TRUE(answer.Started) << answer.Refusal;
    ASSERT_TRUE(h.RelayBecomes(0, 1));
    h.Horns().SetFaults(0, {.NeverAnswer = true});
    std::this_thread::sleep_for(2500ms);  // past the end; the off cannot reach the horn
    EXPECT_EQ(h.Horns().Snapshot(0).Relay, 1);
    h.Horns().SetFaults(0, {});
    const auto answering = steady_clock::now();
    ASSERT_TRUE(h.RelayBecomes(0, 0));
    const auto late = Since(answering);
    std::cout << "relay off " << late.count() << " ms after the horn answered again\n";
    EXPECT_LT(late, kOffWithin);
    // The ring's record is done with: a restart would not touch the horn again.
    EXPECT_TRUE(Eventually([&] {
        return h.Service()
            .Store()
            .Rings()
            .Unfinished(time_point_cast<milliseconds>(system_clock::now()))
            .empty();
    }));
}

// "on", "offline", "no_reply", "pending": what became of each horn's switch-on, in order.
std::vector<std::string> SwitchStates(const site::TRingSwitches& switches) {
    std::vector<std::string> out;
    for (const auto& h : switches.Horns) {
        switch (h.State) {
            case site::TSwitchOn::On:
                out.push_back("on");
                break;
            case site::TSwitchOn::Offline:
                out.push_back("offline");
                break;
            case site::TSwitchOn::Pending:
                out.push_back("pending");
                break;
            case site::TSwitchOn::Failed:
                out.push_back(OutcomeKindName(h.Outcome.Kind));
                break;
        }
    }
    return out;
}

bool HasEntryFor(TServiceHarness& h, TAuditKind kind, const std::string& address) {
    for (const auto& e : h.Entries(kind))
        if (e.HornAddress == address) return true;
    return false;
}

TEST(ServiceRingsTest, ARingSaysWhichHornsSwitchedOnAndAHornBackDuringItIsSwitchedOn) {
    struct Case {
        const char* name;
        std::vector<std::size_t> off;  // switched off and seen offline before the ring
        std::vector<std::string> states;
        bool noneOn;
        const char* summary;     // in the ring's audit entries and its line
        bool restartSounding;    // horn 0 restarts (output off by itself) while the ring sounds
        std::uint8_t relayBack;  // the horns of off once they answer again
    } cases[] = {
        {"every horn switches on", {}, {"on", "on"}, false, "2 of 2 horns switched on", false, 0},
        {"a horn known offline is told at once and switched on when it answers again",
         {1},
         {"on", "offline"},
         false,
         "1 of 2 horns switched on; 1 offline",
         false,
         1},
        {"a ring none of whose horns switched on fails and ends: nothing sounds later",
         {0, 1},
         {"offline", "offline"},
         true,
         "0 of 2 horns switched on; 2 offline",
         false,
         0},
        {"a horn that was on and went off by itself is not rung again (no alarm)",
         {},
         {"on", "on"},
         false,
         "2 of 2 horns switched on",
         true,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TServiceHarness h(2);
        h.Start();
        for (std::size_t horn : {0u, 1u})
            ASSERT_TRUE(Eventually(
                [&] { return HasEntryFor(h, TAuditKind::HornOnline, h.Horns().Address(horn)); }));
        for (std::size_t horn : c.off) {
            h.Horns().StopHorn(horn);
            ASSERT_TRUE(Eventually(
                [&] { return HasEntryFor(h, TAuditKind::HornOffline, h.Horns().Address(horn)); }));
        }
        site::TRingRequest request = RingOf({0, 1}, 60s);
        request.AwaitSwitches = true;
        const auto answer = h.Service().Ring(request);
        ASSERT_TRUE(answer.Started) << answer.Refusal;
        EXPECT_EQ(SwitchStates(answer.Switches), c.states);
        EXPECT_EQ(answer.Switches.NoneOn(), c.noneOn);
        ASSERT_TRUE(Eventually([&] { return h.Entries(TAuditKind::Ring).size() == 2; }));
        for (const auto& entry : h.Entries(TAuditKind::Ring))
            EXPECT_EQ(entry.Detail.rfind("ring; " + std::string(c.summary), 0), 0u) << entry.Detail;
        EXPECT_NE(h.Lines().find(c.summary), std::string::npos) << h.Lines();
        EXPECT_EQ(h.Service().Site().ActiveRings().empty(), c.noneOn);

        if (c.restartSounding) {
            h.Horns().Restart(0);
            ASSERT_TRUE(h.RelayBecomes(0, 0));
            // Polls see it off for a while; a bell is not rung late.
            std::this_thread::sleep_for(milliseconds(4 * kPeriodMs + kReplyWaitMs));
            EXPECT_EQ(h.Horns().Snapshot(0).Relay, 0);
            EXPECT_EQ(h.Horns().Snapshot(1).Relay, 1);
        }
        for (std::size_t horn : c.off)
            h.Horns().StartHorn(horn);
        for (std::size_t horn : c.off) {
            if (c.relayBack == 1) {
                EXPECT_TRUE(h.RelayBecomes(horn, 1)) << horn;
            } else {
                ASSERT_TRUE(Eventually(
                    [&] { return h.Entries(TAuditKind::HornOnline).size() >= 2 + c.off.size(); }));
                std::this_thread::sleep_for(milliseconds(3 * kPeriodMs + kReplyWaitMs));
                EXPECT_EQ(h.Horns().Snapshot(horn).Relay, 0) << horn;
            }
        }
    }
}

TEST(ServiceRingsTest, ARestartTakesUpRingsAndEndsThemAtTheirEnd) {
    struct TCase {
        const char* What;
        milliseconds Duration;
        milliseconds Down;    // how long the service is away
        const char* EndSays;  // what the ring's one ring_end entry says
    };
    const TCase cases[] = {
        {"a ring that ended while the service was down is switched off at the start", 1500ms,
         2500ms, "while the service was not running"},
        {"a ring still running at the start keeps its horn until its end", 4000ms, 500ms,
         "ended at its end"},
    };
    for (const auto& c : cases) {
        TServiceHarness h;
        h.Start();
        ASSERT_TRUE(h.Service().Ring(RingOf({1}, c.Duration)).Started) << c.What;
        const auto started = steady_clock::now();
        ASSERT_TRUE(h.RelayBecomes(1, 1)) << c.What;
        h.Abandon();  // the ring stays in the database; nobody switches the horn off
        std::this_thread::sleep_for(c.Down);
        EXPECT_EQ(h.Horns().Snapshot(1).Relay, 1) << c.What;
        h.Start();
        // Counted once the service runs: how long a start takes on a busy machine (the database
        // opened and checked, the timetable read) is not the ring's.
        const auto restart = steady_clock::now();
        ASSERT_TRUE(h.RelayBecomes(1, 0)) << c.What;
        const auto end = started + c.Duration;
        // Never before its end, and after it no later than a poll and a reply wait (counted
        // from the restart when that came after the end).
        EXPECT_GE(steady_clock::now(), end - 100ms) << c.What;
        EXPECT_LT(Since(std::max(end, restart)), kOffWithin) << c.What;
        // Its end is logged once, and so is a switch-off at the start.
        ASSERT_TRUE(Eventually([&] { return !h.Entries(TAuditKind::RingEnd).empty(); }));
        const auto ends = h.Entries(TAuditKind::RingEnd);
        ASSERT_EQ(ends.size(), 1u) << c.What;
        EXPECT_NE(ends[0].Detail.find(c.EndSays), std::string::npos) << ends[0].Detail;
        const auto stopped = h.Entries(TAuditKind::HornStopped);
        if (c.Duration < c.Down) {
            ASSERT_EQ(stopped.size(), 1u) << c.What;
            EXPECT_EQ(stopped[0].HornAddress, h.Horns().Address(1));
            EXPECT_EQ(stopped[0].RingId, ends[0].RingId);
            EXPECT_NE(h.Lines().find("while the service was not running: 1 horn told off now"),
                      std::string::npos)
                << h.Lines();
        } else {
            EXPECT_TRUE(stopped.empty()) << c.What;
        }
    }
}

TEST(ServiceRingsTest, AStopEndsRingsAndAlarmsAndWaitsForTheHornsToBeSeenOff) {
    const std::string site = R"([alarms.fire]
group = "all"
priority = 300
tone = 3
repeat = 100
steps = [{ on_ms = 400, off_ms = 200 }]
)";
    struct TCase {
        const char* What;
        bool Alarm;
        bool Silent;  // horn 1 stops answering before the stop
        const char* StopSays;
    };
    const TCase cases[] = {
        {"a ring", false, false, "1 ring(s) ended, 2 of 2 horn(s) seen off"},
        {"an alarm", true, false, "1 ring(s) ended, 2 of 2 horn(s) seen off"},
        {"a ring with a horn that does not answer: the wait has its bound", false, true,
         "1 of 2 horn(s) seen off; not seen off within 5 s: 127.0.91.2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TServiceHarness h;
        h.Start(site);
        if (c.Alarm)
            ASSERT_TRUE(h.Service().StartAlarm("fire", site::TCause::Http, "tester").Ok);
        else
            ASSERT_TRUE(h.Service().Ring(RingOf({0, 1}, 20s)).Started);
        ASSERT_TRUE(h.RelayBecomes(0, 1));
        ASSERT_TRUE(h.RelayBecomes(1, 1));
        if (c.Silent) h.Horns().SetFaults(1, {.NeverAnswer = true});
        const auto stopping = steady_clock::now();
        h.Stop();
        std::cout << c.What << ": stopped in " << Since(stopping).count() << " ms\n";
        EXPECT_LT(Since(stopping), kStopOffWait + 5s);
        // Seen off before the stop returned.
        EXPECT_EQ(h.Horns().Snapshot(0).Relay, 0);
        EXPECT_EQ(h.Horns().Snapshot(1).Relay, c.Silent ? 1 : 0);
        h.Horns().SetFaults(1, {});
        // The next start takes nothing up: nothing sounds again, and a horn left on is told off.
        h.Start(site);
        EXPECT_TRUE(h.Service().Site().ActiveRings().empty());
        EXPECT_TRUE(h.RelayBecomes(1, 0));
        const auto stops = h.Entries(TAuditKind::ServiceStop);
        ASSERT_EQ(stops.size(), 1u);
        EXPECT_NE(stops[0].Detail.find(c.StopSays), std::string::npos) << stops[0].Detail;
        const auto ends = h.Entries(TAuditKind::RingEnd);
        ASSERT_EQ(ends.size(), 1u) << "its end is not logged again at the start";
        EXPECT_NE(ends[0].Detail.find("stopped: the service stops"), std::string::npos)
            << ends[0].Detail;
        const auto offs = h.Entries(TAuditKind::HornStopped);
        ASSERT_EQ(offs.size(), c.Silent ? 1u : 0u);
        if (c.Silent) {
            EXPECT_EQ(offs[0].HornAddress, h.Horns().Address(1));
            EXPECT_NE(offs[0].Detail.find("not seen off before the service stopped"),
                      std::string::npos)
                << offs[0].Detail;
        }
        EXPECT_EQ(h.Entries(TAuditKind::AlarmStop).size(), c.Alarm ? 1u : 0u);
        std::this_thread::sleep_for(milliseconds(3 * kPeriodMs));
        EXPECT_EQ(h.Horns().Snapshot(0).Relay, 0);
    }
}

TEST(ServiceRingsTest, AHornFoundSoundingWithNoRingIsSwitchedOffWhenTheRulesSaySo) {
    for (const bool stop : {true, false}) {
        TServiceHarness h;
        {
            // Somebody else switches horn 0 on before the service starts.
            auto network = MakeHostNetworkSource();
            site::TSessionOptions options;
            options.Port = h.Horns().Port();
            site::TSessionSet sessions({h.Horns().Address(0)}, options, *network);
            ASSERT_TRUE(SwitchRelay(sessions.Session(0), 1, 3).Outcome.Ok());
        }
        h.Start(std::string("[site]\nstop_unowned = ") + (stop ? "true" : "false") + "\n");
        if (stop) {
            EXPECT_TRUE(h.RelayBecomes(0, 0));
            ASSERT_TRUE(Eventually([&] { return !h.Entries(TAuditKind::HornStopped).empty(); }));
            EXPECT_EQ(h.Entries(TAuditKind::HornStopped)[0].HornAddress, h.Horns().Address(0));
        } else {
            std::this_thread::sleep_for(milliseconds(4 * kPeriodMs));
            EXPECT_EQ(h.Horns().Snapshot(0).Relay, 1);
            EXPECT_NE(h.Lines().find("stop_unowned is off"), std::string::npos) << h.Lines();
        }
    }
}

TEST(ServiceRingsTest, BellsRingAtTheirInstantAndMissedOnesAreRecorded) {
    TServiceHarness h;
    const auto first = SecondsAhead(2500ms);
    const auto second = first + 3s;
    const std::string site = "[site]\nlate_tolerance_s = 1\n" + BellsAt({first, second}, 1);
    h.Horns().SetFaults(1, {.NeverAnswer = true});  // this one is not reached
    h.Start(site);
    ASSERT_TRUE(h.RelayBecomes(0, 1));
    const auto late = duration_cast<milliseconds>(system_clock::now() - first);
    std::cout << "relay on " << late.count() << " ms after the bell's instant\n";
    EXPECT_GT(late, -50ms);
    EXPECT_LT(late, 1000ms);
    ASSERT_TRUE(h.RelayBecomes(0, 0));
    EXPECT_NE(h.Lines().find("ms after its instant"), std::string::npos);
    ASSERT_TRUE(Eventually([&] { return !h.Entries(TAuditKind::BellMissed).empty(); }));
    const auto unreached = h.Entries(TAuditKind::BellMissed);
    ASSERT_EQ(unreached.size(), 1u);
    EXPECT_EQ(unreached[0].HornAddress, h.Horns().Address(1));
    EXPECT_NE(unreached[0].Detail.find("not reached"), std::string::npos) << unreached[0].Detail;

    // Down across the second bell, and back after its late tolerance.
    h.Stop();
    std::this_thread::sleep_until(system_clock::time_point(second + 1500ms));
    h.Start(site);
    ASSERT_TRUE(Eventually([&] { return h.Entries(TAuditKind::BellMissed).size() == 2; }))
        << h.Lines();
    const auto missed = h.Entries(TAuditKind::BellMissed).back();
    EXPECT_EQ(missed.Group, "all");
    EXPECT_EQ(missed.HornAddress, "");
    EXPECT_NE(missed.Detail.find("not rung"), std::string::npos) << missed.Detail;
    const auto fired = h.Entries(TAuditKind::BellFired);
    ASSERT_EQ(fired.size(), 1u) << "nothing rung late, nothing twice";
    // Stamped when the ring started: at the instant, or a little after it on a busy machine.
    EXPECT_GE(fired[0].At, time_point_cast<milliseconds>(first));
    EXPECT_LT(fired[0].At, time_point_cast<milliseconds>(first + 1000ms));
}

TEST(ServiceRingsTest, WhatFrontsAskIsDoneAndLogged) {
    TServiceHarness h(3);
    h.Start(R"([site]
max_ring_s = 20
[groups]
pair = ["127.0.91.1", "127.0.91.2"]
[alarms.fire]
group = "pair"
priority = 300
tone = 3
repeat = 100
steps = [{ on_ms = 400, off_ms = 200 }]
)");
    site::ISiteControl& control = h.Service();
    EXPECT_EQ(control.GroupNames(), (std::vector<std::string>{"all", "pair"}));
    EXPECT_EQ(control.AlarmNames(), (std::vector<std::string>{"fire"}));

    // Refusals say why and switch nothing on.
    site::TRingRequest bad = RingOf({}, 5s);
    bad.Group = "hall";
    EXPECT_EQ(control.Ring(bad).Refusal, "no group named 'hall'");
    bad = RingOf({7}, 5s);
    EXPECT_EQ(control.Ring(bad).Refusal, "no horn number 7");
    bad = RingOf({0}, 5s);
    bad.Tone = 4;
    EXPECT_EQ(control.Ring(bad).Refusal, "the tone must be 0 to 3");
    EXPECT_EQ(control.StartAlarm("flood", site::TCause::Mqtt, "").Refusal,
              "no alarm named 'flood'");
    EXPECT_FALSE(control.StopAlarm("fire", site::TCause::Mqtt, ""));

    // A group ring longer than the longest ring is cut to it.
    site::TRingRequest ring = RingOf({}, 10min);
    ring.Group = "pair";
    const auto answer = control.Ring(ring);
    ASSERT_TRUE(answer.Started);
    EXPECT_TRUE(answer.Start.Clamped);
    EXPECT_EQ(answer.Start.Record.End - answer.Start.Record.Start, 20s);
    ASSERT_TRUE(h.RelayBecomes(0, 1) && h.RelayBecomes(1, 1));
    EXPECT_EQ(h.Horns().Snapshot(2).Relay, 0);
    ASSERT_TRUE(control.StopGroup("pair", site::TCause::Mqtt, "ha"));
    ASSERT_TRUE(h.RelayBecomes(0, 0) && h.RelayBecomes(1, 0));

    // The alarm by name sounds its pattern on its group until stopped by name.
    ASSERT_TRUE(control.StartAlarm("fire", site::TCause::Mqtt, "ha").Ok);
    ASSERT_TRUE(h.RelayBecomes(0, 1));
    EXPECT_TRUE(h.RelayBecomes(0, 0)) << "the pattern's pause";
    EXPECT_TRUE(control.StopAlarm("fire", site::TCause::Mqtt, "ha"));
    std::this_thread::sleep_for(milliseconds(2 * kPeriodMs));
    EXPECT_TRUE(h.RelayBecomes(0, 0) && h.RelayBecomes(1, 0));

    // Stop all ends a ring and an alarm at once.
    ASSERT_TRUE(control.Ring(RingOf({2}, 30s)).Started);
    ASSERT_TRUE(control.StartAlarm("fire", site::TCause::Mqtt, "ha").Ok);
    ASSERT_TRUE(h.RelayBecomes(2, 1));
    control.StopAll(site::TCause::Http, "admin");
    for (std::size_t horn : {0u, 1u, 2u})
        EXPECT_TRUE(h.RelayBecomes(horn, 0)) << horn;
    std::this_thread::sleep_for(milliseconds(3 * kPeriodMs));
    EXPECT_EQ(h.Horns().Snapshot(0).Relay, 0) << "the alarm does not come back";
    EXPECT_TRUE(h.Service()
                    .Store()
                    .Rings()
                    .Unfinished(time_point_cast<milliseconds>(system_clock::now()))
                    .empty());

    const auto stops = h.Entries(TAuditKind::StopAll);
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].Actor, "admin");
    EXPECT_EQ(stops[0].Cause, store::TAuditCause::Http);
    const auto alarms = h.Entries(TAuditKind::AlarmStart);
    ASSERT_EQ(alarms.size(), 2u);
    EXPECT_EQ(alarms[0].Alarm, "fire");
    EXPECT_EQ(h.Entries(TAuditKind::AlarmStop).size(), 2u);
    const auto ends = h.Entries(TAuditKind::RingEnd);
    ASSERT_FALSE(ends.empty());
    EXPECT_EQ(ends.back().Actor, "admin");
}

TEST(ServiceRingsTest, AHornsInputStartsItsAlarmOnce) {
    TServiceHarness h(2);
    h.Start(R"([[devices.horn]]
address = "127.0.91.1"
input_alarm = "door"
input_hold_off_s = 3600
[alarms.door]
priority = 150
tone = 1
steps = [{ on_ms = 1500, off_ms = 0 }]
)");
    ASSERT_TRUE(Eventually([&] { return h.Entries(TAuditKind::HornOnline).size() == 2; }));
    h.Horns().SetInput(0, 1);
    ASSERT_TRUE(h.RelayBecomes(1, 1));
    ASSERT_TRUE(h.RelayBecomes(1, 0));
    // A contact stuck on does not start it again.
    std::this_thread::sleep_for(milliseconds(3 * kPeriodMs));
    const auto alarms = h.Entries(TAuditKind::AlarmStart);
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0].Cause, store::TAuditCause::Input);
    EXPECT_EQ(alarms[0].Actor, h.Horns().Address(0));
}

}  // namespace
}  // namespace kstbell::service::test
