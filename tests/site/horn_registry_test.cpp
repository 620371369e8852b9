// The horn registry: commands per horn (a stop is never refused and goes first, a newer relay
// command replaces a waiting one, results in command order), the presence rule, identity.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site/horn_registry.h"

namespace kstbell::site {
namespace {

TInfoReading Info(std::uint8_t macLast, int model = 186) {
    TInfoReading r;
    r.Info.Model = static_cast<std::uint8_t>(model);
    r.Info.Mac = {2, 0x4B, 0x7A, 0x3C, 0x60, macLast};
    r.Supported = model == 186;
    return r;
}

TOutcome Kind(TOutcomeKind k) {
    return TOutcome{k};
}

struct TRecorder {
    std::vector<THornEvent> Events;
    // The results as "TAG:kind", in the order they left.
    std::vector<std::string> Results() const {
        std::vector<std::string> out;
        for (const auto& e : Events)
            if (e.Kind == THornEvent::TKind::CommandDone)
                out.push_back(e.Command.Tag + ":" + OutcomeKindName(e.Outcome.Kind));
        return out;
    }
    int Count(THornEvent::TKind kind) const {
        int n = 0;
        for (const auto& e : Events)
            n += e.Kind == kind;
        return n;
    }
};

struct TFixture {
    TRecorder Seen;
    THornRegistry Registry{
        {{"127.0.0.1", ""}, {"127.0.0.2", "Hall"}}, {}, [this](std::vector<THornEvent> e) {
            for (auto& x : e)
                Seen.Events.push_back(std::move(x));
        }};
    TFixture() {
        Registry.PolledInfo(0, Info(1));
        Registry.PolledInfo(1, Info(2));
    }
};

TCommand On(std::string tag, std::optional<std::uint8_t> tone = {}) {
    TCommand c;
    c.Kind = TCommandKind::Relay;
    c.On = true;
    c.Tone = tone;
    c.Tag = std::move(tag);
    return c;
}
TCommand Off(std::string tag) {
    TCommand c = On(std::move(tag));
    c.On = false;
    return c;
}
TCommand Press(std::string tag) {
    TCommand c;
    c.Kind = TCommandKind::FindMe;
    c.Tag = std::move(tag);
    return c;
}

// Each step: submit a command, take the next one (it runs), or finish the one taken.
struct TStep {
    enum { Submit, Take, Finish } What;
    TCommand Command;  // Submit
    std::string Tag;   // Take: the tag of the command expected to run
};

TEST(HornRegistryTest, StopsGoFirstNewerRelayCommandsReplaceWaitingOnesResultsKeepOrder) {
    const auto submit = [](TCommand c) { return TStep{TStep::Submit, std::move(c), {}}; };
    const auto take = [](std::string tag) { return TStep{TStep::Take, {}, std::move(tag)}; };
    const TStep finish{TStep::Finish, {}, {}};
    std::vector<TStep> twentyOnsThenOff;
    std::vector<std::string> twentyResults;
    for (int i = 1; i <= 20; ++i) {
        twentyOnsThenOff.push_back(submit(On("on" + std::to_string(i))));
        twentyResults.push_back("on" + std::to_string(i) + ":cancelled");
    }
    twentyOnsThenOff.insert(twentyOnsThenOff.end(), {submit(Off("off")), take("off"), finish});
    twentyResults.push_back("off:ok");
    std::vector<TStep> fullQueue;
    std::vector<std::string> fullResults;
    for (int i = 1; i <= 9; ++i)
        fullQueue.push_back(submit(Press(std::to_string(i))));
    fullQueue.insert(fullQueue.end(), {submit(Off("x")), take("x"), finish});
    for (int i = 1; i <= 8; ++i) {
        fullQueue.insert(fullQueue.end(), {take(std::to_string(i)), finish});
        fullResults.push_back(std::to_string(i) + ":ok");
    }
    fullResults.insert(fullResults.end(), {"9:busy", "x:ok"});

    struct Case {
        const char* name;
        std::vector<TStep> steps;
        std::vector<std::string> results;
    } cases[] = {
        {"twenty ONs then an OFF: only the OFF reaches the horn", twentyOnsThenOff, twentyResults},
        {"an OFF behind a running ON and waiting ones: the ON finishes, the OFF runs next",
         {submit(On("a")), take("a"), submit(On("b")), submit(On("c")), submit(Off("x")), finish,
          take("x"), finish},
         {"a:ok", "b:cancelled", "c:cancelled", "x:ok"}},
        {"an OFF goes ahead of a waiting Find me, and its result waits for the earlier one",
         {submit(Press("p")), submit(Off("x")), take("x"), finish, take("p"), finish},
         {"p:ok", "x:ok"}},
        {"a newer ON replaces the waiting OFF in its place",
         {submit(Off("x")), submit(On("y")), take("y"), finish},
         {"x:cancelled", "y:ok"}},
        {"a full queue refuses a ninth Find me, never an OFF", fullQueue, fullResults},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFixture f;
        std::optional<TCommand> running;
        for (auto& step : c.steps) {
            if (step.What == TStep::Submit) {
                f.Registry.Submit(0, step.Command);
            } else if (step.What == TStep::Take) {
                running = f.Registry.NextCommand(0);
                ASSERT_TRUE(running);
                EXPECT_EQ(running->Tag, step.Tag);
            } else if (running->Kind == TCommandKind::Relay) {
                TRelayReading r;
                r.Output = running->On ? 1 : 0;
                f.Registry.RelayDone(0, *running, r);
            } else {
                f.Registry.CommandDone(0, *running, {});
            }
        }
        EXPECT_EQ(f.Seen.Results(), c.results);
        EXPECT_FALSE(f.Registry.NextCommand(0)) << "a command was left waiting";
    }
}

TEST(HornRegistryTest, OfflineHornsRefuseAllButStopsAndClosingCancelsWhatWaits) {
    TFixture f;
    // Two polls without an answer: offline; the Find me waiting for it ends unreachable, the
    // OFF stays.
    f.Registry.Submit(0, Press("p"));
    f.Registry.Submit(0, Off("x"));
    f.Registry.PolledStatus(0, {Kind(TOutcomeKind::NoReply), {}});
    EXPECT_EQ(f.Seen.Count(THornEvent::TKind::Offline), 0);
    f.Registry.PolledStatus(0, {Kind(TOutcomeKind::Unreachable), {}});
    EXPECT_EQ(f.Seen.Count(THornEvent::TKind::Offline), 1);
    EXPECT_FALSE(f.Registry.Submit(0, On("on")));
    EXPECT_TRUE(f.Registry.Submit(0, Off("x2")));
    // A command that fails counts like a missed poll: the other horn goes offline by commands.
    f.Registry.Submit(1, Press("q1"));
    f.Registry.CommandDone(1, *f.Registry.NextCommand(1), Kind(TOutcomeKind::NoReply));
    f.Registry.Submit(1, Press("q2"));
    f.Registry.CommandDone(1, *f.Registry.NextCommand(1), Kind(TOutcomeKind::NoReply));
    EXPECT_EQ(f.Seen.Count(THornEvent::TKind::Offline), 2);
    // Closing: what still waits ends cancelled, nothing more is taken or accepted.
    f.Registry.Close();
    EXPECT_FALSE(f.Registry.NextCommand(0));
    EXPECT_FALSE(f.Registry.Submit(0, Off("late")));
    EXPECT_EQ(f.Seen.Results(), (std::vector<std::string>{
                                    "p:unreachable", "x:cancelled", "on:unreachable", "q1:no_reply",
                                    "q2:no_reply", "x2:cancelled", "late:cancelled"}));
}

TEST(HornRegistryTest, IdentityByMacAnotherHornAtTheAddressAndStateFromAnswers) {
    TFixture f;
    EXPECT_EQ(f.Seen.Count(THornEvent::TKind::Identified), 2);
    EXPECT_EQ(f.Seen.Count(THornEvent::TKind::Online), 2);
    EXPECT_EQ(*f.Registry.FindByMac(Info(2).Info.Mac), 1u);

    // The second horn reports the first one's MAC: ignored, said once.
    f.Registry.PolledInfo(1, Info(1));
    f.Registry.PolledInfo(1, Info(1));
    EXPECT_EQ(f.Seen.Count(THornEvent::TKind::DuplicateMac), 1);

    // Another horn answers at the first address: the one before is replaced, the new one is
    // identified and online.
    f.Registry.PolledInfo(0, Info(9));
    EXPECT_EQ(f.Seen.Count(THornEvent::TKind::Replaced), 1);
    EXPECT_EQ(f.Registry.View(0).Identity->Mac[5], 9);
    EXPECT_FALSE(f.Registry.FindByMac(Info(1).Info.Mac));
    EXPECT_EQ(f.Seen.Count(THornEvent::TKind::Online), 3);

    // A relay answer sets the state from what the horn answered, and the tone asked for.
    const std::size_t before = f.Seen.Events.size();
    f.Registry.Submit(0, On("a", 2));
    const auto c = f.Registry.NextCommand(0);
    EXPECT_EQ(c->SendTone, 2);
    TRelayReading r;
    r.Output = 1;
    r.Input = 1;
    f.Registry.RelayDone(0, *c, r);
    EXPECT_EQ(f.Seen.Count(THornEvent::TKind::StateChanged), 1);
    EXPECT_GT(f.Seen.Events.size(), before);
    const THornView v = f.Registry.View(0);
    EXPECT_TRUE(v.State.Output);
    EXPECT_TRUE(v.State.Input);
    EXPECT_EQ(v.State.Tone, 2);
    // Another model answering is said once and never identified.
    f.Registry.PolledInfo(1, Info(2));
    f.Registry.PolledInfo(1, Info(3, 99));
    f.Registry.PolledInfo(1, Info(3, 99));
    EXPECT_EQ(f.Seen.Count(THornEvent::TKind::Unsupported), 1);
}

}  // namespace
}  // namespace kstbell::site
