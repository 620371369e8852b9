// The site file's alarms: the example alarms read as they are shipped, an alarm's ring, and
// every mistake named by line, key and reason.

#include <gtest/gtest.h>

#include "alarms/alarm.h"
#include "alarms/alarm_config.h"
#include "site/ring_book.h"

namespace kstbell::alarms {
namespace {

using std::chrono::milliseconds;

const std::string kSite = "/etc/kstbell/site.toml";

bool Read(const std::string& text, std::vector<TAlarm>& alarms, std::vector<std::string>& errors) {
    return ReadAlarms(toml::parse(text, kSite), kSite, alarms, errors);
}

TEST(AlarmConfigTest, TheExampleAlarmsReadInTheirOrder) {
    const std::string path = KSTBELL_ALARMS_EXAMPLES;
    std::vector<TAlarm> alarms;
    std::vector<std::string> errors;
    ASSERT_TRUE(ReadAlarms(toml::parse_file(path), path, alarms, errors)) << errors.front();
    ASSERT_EQ(alarms.size(), 4u);
    const struct {
        const char* Name;
        const char* Label;
        int Priority;
        std::uint8_t Tone;
        milliseconds Length;
    } expected[] = {{"evacuation", "Evacuation", 1000, 3, milliseconds{360000}},
                    {"lockdown", "Lockdown", 900, 1, milliseconds{300000}},
                    {"all_clear", "All clear", 500, 2, milliseconds{11000}},
                    {"monthly_test", "Monthly test", 101, 0, milliseconds{10000}}};
    for (std::size_t i = 0; i < alarms.size(); ++i) {
        EXPECT_EQ(alarms[i].Name, expected[i].Name);
        EXPECT_EQ(alarms[i].Label, expected[i].Label);
        EXPECT_EQ(alarms[i].Group, "all");
        EXPECT_EQ(alarms[i].Priority, expected[i].Priority);
        EXPECT_EQ(alarms[i].Tone, expected[i].Tone);
        EXPECT_EQ(AlarmLength(alarms[i]), expected[i].Length) << alarms[i].Name;
    }

    // Defaults, a step's own tone, and an alarm of exactly one hour.
    ASSERT_TRUE(
        Read("[alarms.drill-2]\nsteps = [{ on_ms = 1000, off_ms = 0, tone = 2 }, "
             "{ on_ms = 1000, off_ms = 0 }]\nrepeat = 1800\n",
             alarms, errors));
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0].Label, "drill-2");
    EXPECT_EQ(alarms[0].Group, "all");
    EXPECT_EQ(alarms[0].Priority, 200);
    EXPECT_EQ(alarms[0].Steps[0].Tone, std::optional<std::uint8_t>{2});
    EXPECT_EQ(alarms[0].Steps[1].Tone, std::nullopt);
    EXPECT_EQ(AlarmLength(alarms[0]), std::chrono::hours{1});

    // A file without alarms has none.
    ASSERT_TRUE(Read("[site]\nname = \"x\"\n", alarms, errors));
    EXPECT_TRUE(alarms.empty());
}

TEST(AlarmConfigTest, EveryMistakeIsNamedByLineAndKey) {
    const std::string step = "steps = [{ on_ms = 1000, off_ms = 500 }]\n";
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"alarms = 3\n", {":1: key 'alarms': must be a table"}},
        {"[alarms]\nfire = \"loud\"\n", {":2: key 'alarms.fire': must be a table"}},
        {"[alarms.Fire]\n" + step, {":1: key 'alarms.Fire': an alarm's name is 1 to 32"}},
        {"[alarms.\"fire/all\"]\n" + step, {":1: key 'alarms.fire/all': an alarm's name"}},
        {"[alarms.a23456789012345678901234567890123]\n" + step,
         {":1: key 'alarms.a23456789012345678901234567890123': an alarm's name"}},
        {"[alarms.fire]\nlabel = \"\"\ngroup = \"\"\n" + step,
         {":2: key 'alarms.fire.label': must be a text that is not empty",
          ":3: key 'alarms.fire.group': must be a text that is not empty"}},
        {"[alarms.fire]\nlabel = \"Fire\\nalarm\"\n" + step,
         {":2: key 'alarms.fire.label': must not hold control characters"}},
        {"[alarms.fire]\npriority = 100\ntone = 4\nrepeat = 0\n" + step,
         {":2: key 'alarms.fire.priority': must be an integer from 101 to 1000",
          ":3: key 'alarms.fire.tone': must be an integer from 0 to 3",
          ":4: key 'alarms.fire.repeat': must be an integer from 1 to 3600000"}},
        {"[alarms.fire]\npriority = 1001\nvolume = 3\n" + step,
         {":2: key 'alarms.fire.priority': must be an integer from 101 to 1000",
          ":3: key 'alarms.fire.volume': unknown key (label, group, priority, tone, repeat and "
          "steps are)"}},
        {"[alarms.fire]\npriority = 200.0\n" + step,
         {":2: key 'alarms.fire.priority': must be an integer"}},
        {"[alarms.fire]\ntone = 1\n", {":1: key 'alarms.fire.steps': is missing"}},
        {"[alarms.fire]\nsteps = []\n", {":2: key 'alarms.fire.steps': must be a list of steps"}},
        {"[alarms.fire]\nsteps = [\n { on_ms = 0, off_ms = -1, tone = 4 },\n 5,\n"
         " { on_ms = 10, pause_ms = 3 },\n { off_ms = 10 } ]\n",
         {":3: key 'alarms.fire.steps[0].off_ms': must be an integer from 0 to 3600000",
          ":3: key 'alarms.fire.steps[0].on_ms': must be an integer from 1 to 3600000",
          ":3: key 'alarms.fire.steps[0].tone': must be an integer from 0 to 3",
          ":4: key 'alarms.fire.steps[1]': must be a step",
          ":5: key 'alarms.fire.steps[2].pause_ms': unknown key (on_ms, off_ms and tone are)",
          ":5: key 'alarms.fire.steps[2].off_ms': is missing",
          ":6: key 'alarms.fire.steps[3].on_ms': is missing"}},
        // One hour and one second: too long, named at the steps; so is one round of them.
        {"[alarms.fire]\nrepeat = 3601\nsteps = [{ on_ms = 600, off_ms = 400 }]\n",
         {":3: key 'alarms.fire.steps': the steps, repeated 3601 times, last 3601000 ms; an "
          "alarm lasts at most an hour"}},
        {"[alarms.fire]\nrepeat = 3600000\nsteps = [{ on_ms = 3600000, off_ms = 3600000 }]\n",
         {":3: key 'alarms.fire.steps': the steps last 7200000 ms; an alarm lasts at most"}},
        // Two alarms: every mistake of both, in line order.
        {"[alarms.b]\ntone = 9\n" + step + "[alarms.a]\nrepeat = -1\n" + step,
         {":2: key 'alarms.b.tone'", ":5: key 'alarms.a.repeat'"}},
    };
    for (const auto& [text, expected] : cases) {
        std::vector<TAlarm> alarms(1);
        alarms[0].Name = "kept";
        std::vector<std::string> errors{"an earlier mistake"};
        EXPECT_FALSE(Read(text, alarms, errors)) << text;
        ASSERT_EQ(errors.size(), expected.size() + 1) << text << "\n"
                                                      << testing::PrintToString(errors);
        EXPECT_EQ(errors[0], "an earlier mistake");
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(errors[i + 1].rfind(kSite + expected[i], 0), 0u)
                << text << "\ngot:      " << errors[i + 1] << "\nexpected: " << expected[i];
        ASSERT_EQ(alarms.size(), 1u);
        EXPECT_EQ(alarms[0].Name, "kept");
    }

    std::vector<std::string> errors;
    CheckAlarmGroups(
        toml::parse("[alarms.a]\ngroup = \"hall\"\n" + step + "[alarms.b]\ngroup = \"all\"\n" +
                        step + "[alarms.c]\n" + step,
                    kSite),
        kSite, [](const std::string& g) { return g == "all"; }, errors);
    EXPECT_EQ(errors,
              std::vector<std::string>{kSite + ":2: key 'alarms.a.group': no group named 'hall'"});
}

// The ring lasts the pattern's length, not the longest steady ring, sounds each step's tone
// (or the alarm's), insists, and carries the alarm's priority and name.
TEST(AlarmConfigTest, AnAlarmRingsItsPatternToTheEnd) {
    using site::TMillis;
    const TAlarm alarms[] = {
        {.Name = "evacuation",
         .Label = "Evacuation",
         .Priority = 1000,
         .Tone = 3,
         .Steps = {{TMillis{5000}, TMillis{1000}, std::nullopt}},
         .Repeat = 60},
        {.Name = "all_clear",
         .Label = "All clear",
         .Priority = 500,
         .Tone = 2,
         .Steps = {{TMillis{3000}, TMillis{0}, 1}, {TMillis{2000}, TMillis{0}, std::nullopt}},
         .Repeat = 1},
    };
    const TMillis lengths[] = {TMillis{360000}, TMillis{5000}};
    const std::uint8_t firstTones[] = {3, 1};
    const std::uint8_t secondTones[] = {3, 2};
    const site::TSteady t0{std::chrono::hours{1000}};
    const site::TNow now{t0, site::TInstant{std::chrono::seconds{1'800'000'000}}};
    for (std::size_t i = 0; i < std::size(alarms); ++i) {
        const site::TRingOrder order =
            AlarmRing(alarms[i], {2, 0}, site::TCause::Input, "horn 10.0.1.20");
        EXPECT_TRUE(order.Insist);
        EXPECT_EQ(order.Priority, alarms[i].Priority);
        EXPECT_EQ(order.Label, alarms[i].Name);
        EXPECT_EQ(order.Cause, site::TCause::Input);
        EXPECT_EQ(order.Actor, "horn 10.0.1.20");
        EXPECT_EQ(order.Repeat, alarms[i].Repeat);
        EXPECT_EQ(order.Pattern.size(), alarms[i].Steps.size());

        site::TRingBook book(3, site::TRingRules{std::chrono::seconds(180), true});
        site::TRingOrder bell;
        bell.Horns = {1};
        bell.Duration = TMillis{20000};
        book.Start(bell, now);
        const site::TRingStart start = book.Start(order, now);
        EXPECT_FALSE(start.Clamped);
        EXPECT_EQ(start.Record.End - start.Record.Start, lengths[i]) << alarms[i].Name;
        EXPECT_EQ(start.Taken, (std::vector<std::size_t>{0, 2}));
        ASSERT_EQ(start.Switches.size(), 2u);
        EXPECT_EQ(start.Switches[0].Tone, firstTones[i]);

        // The second sounding step, whatever lies between.
        const TMillis first = alarms[i].Steps[0].On + alarms[i].Steps[0].Off;
        const auto update = book.Advance(t0 + first);
        ASSERT_FALSE(update.Switches.empty()) << alarms[i].Name;
        EXPECT_TRUE(update.Switches.back().On);
        EXPECT_EQ(update.Switches.back().Tone, secondTones[i]);
        // A horn switched off behind the alarm's back is told on again.
        const auto told = book.Observed(0, false);
        ASSERT_EQ(told.Switches.size(), 1u);
        EXPECT_TRUE(told.Switches[0].On);
    }
}

}  // namespace
}  // namespace kstbell::alarms
