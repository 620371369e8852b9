// The site file: the annotated example and a bridge's file read as they are shipped, groups and
// horn inputs resolved to horns, and every mistake named by line, key and reason, all at once.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "alarms/alarm_config.h"
#include "calendar/clock_text.h"
#include "service/config_report.h"
#include "service/site_file.h"

namespace kstbell::service {
namespace {

const std::string kPath = "/etc/kstbell/site.toml";

// Two named horns and a range: enough for groups and inputs to refer to.
const std::string kHorns = R"([devices]
addresses = ["10.0.1.0/30"]
[[devices.horn]]
address = "10.0.2.1"
name = "Gym"
[[devices.horn]]
address = "10.0.2.2"
name = "Hall"
)";

const std::string kAlarm = R"(
[alarms.fire]
steps = [ { on_ms = 1000, off_ms = 0 } ]
)";

std::vector<std::string> Mistakes(const std::string& text) {
    TServiceConfig config;
    std::vector<std::string> errors;
    EXPECT_FALSE(ReadSiteText(text, kPath, config, errors)) << text;
    return errors;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& l : lines)
        all += l + "\n";
    return all;
}

TEST(SiteFileTest, TheExampleAndABridgeFileAreValid) {
    for (const char* file : {KSTBELL_SITE_EXAMPLE, KSTBELL_BRIDGE_EXAMPLE}) {
        TServiceConfig config;
        std::vector<std::string> errors;
        EXPECT_TRUE(ReadSiteFile(file, config, errors)) << Joined(errors);
    }
    // The example's alarms are the shipped examples, unchanged.
    TServiceConfig config;
    std::vector<std::string> errors;
    ASSERT_TRUE(ReadSiteFile(KSTBELL_SITE_EXAMPLE, config, errors));
    std::vector<alarms::TAlarm> shipped;
    ASSERT_TRUE(alarms::ReadAlarms(toml::parse_file(KSTBELL_ALARMS_EXAMPLES),
                                   KSTBELL_ALARMS_EXAMPLES, shipped, errors));
    ASSERT_EQ(config.Alarms.size(), shipped.size());
    for (std::size_t i = 0; i < shipped.size(); ++i) {
        EXPECT_EQ(config.Alarms[i].Name, shipped[i].Name);
        EXPECT_EQ(alarms::AlarmLength(config.Alarms[i]), alarms::AlarmLength(shipped[i]));
        EXPECT_EQ(config.Alarms[i].Priority, shipped[i].Priority);
    }
    EXPECT_EQ(config.Site.Name, "Northside School");
    EXPECT_EQ(config.Groups.front().Name, "all");
    EXPECT_EQ(config.Groups.front().Horns.size(), config.Horns.size());
}

TEST(SiteFileTest, GroupsAndInputsResolveToHorns) {
    const std::string text = R"([site]
max_ring_s = 30
stop_unowned = false
log_days = 7
[devices]
addresses = ["10.0.1.0/30", "10.0.1.2"]
[[devices.horn]]
address = "10.0.2.0/30"
input_alarm = "fire"
input_debounce_ms = 250
[[devices.horn]]
address = "10.0.3.1"
name = "Gym"
input_alarm = "fire"
[[devices.horn]]
address = "10.0.1.1"
name = "Desk"
input_alarm = "fire"
input_hold_off_s = 10
[groups]
mixed = ["Gym", "10.0.1.1", "10.0.2.0/24", "10.0.1.1"]
)" + kAlarm;
    TServiceConfig c;
    std::vector<std::string> errors;
    ASSERT_TRUE(ReadSiteText(text, kPath, c, errors)) << Joined(errors);
    // 10.0.1.1-2, 10.0.2.1-2, 10.0.3.1: the repeated addresses once.
    ASSERT_EQ(c.Horns.size(), 5u);
    EXPECT_EQ(c.Site.MaxRing, std::chrono::seconds(30));
    EXPECT_FALSE(c.Site.StopUnowned);
    EXPECT_EQ(c.Site.LogDays, std::chrono::days(7));
    const TGroup* mixed = c.FindGroup("mixed");
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(mixed->Horns, (std::vector<std::size_t>{0, 2, 3, 4}));
    ASSERT_EQ(c.Inputs.size(), 5u);
    // A horn of a range with a table of its own takes its name and input from that table.
    EXPECT_EQ(c.Horns[0].Name, "Desk");
    ASSERT_TRUE(c.Inputs[0]);
    EXPECT_EQ(c.Inputs[0]->HoldOff, std::chrono::seconds(10));
    EXPECT_FALSE(c.Inputs[1]);
    for (std::size_t h : {2u, 3u}) {  // every horn of the range
        ASSERT_TRUE(c.Inputs[h]);
        EXPECT_EQ(c.Inputs[h]->Alarm, "fire");
        EXPECT_EQ(c.Inputs[h]->Debounce, std::chrono::milliseconds(250));
        EXPECT_EQ(c.Inputs[h]->HoldOff, std::chrono::seconds(300));
    }
    ASSERT_TRUE(c.Inputs[4]);
    EXPECT_EQ(c.Inputs[4]->Debounce, std::chrono::milliseconds(0));
    EXPECT_FALSE(c.HasBroker);
}

TEST(SiteFileTest, EachMistakeNamesItsLineAndKey) {
    const std::pair<std::string, std::string> cases[] = {
        {"[site]\nmax_ring_s = 0\n",
         ":2: key 'site.max_ring_s': must be an integer from 1 to 3600"},
        {"[site]\nstop_unowned = 1\n", ":2: key 'site.stop_unowned': must be true or false"},
        {"[site]\nname = \"a\\u0007b\"\n", ":2: key 'site.name': must be at most 100 bytes"},
        {"[site]\nlog_day = 3\n", ":2: key 'site.log_day': unknown key"},
        {"[site]\ntime_zone = \"Mars/Olympus\"\n", ":2: key 'site.time_zone': no time zone"},
        {"[http]\nlisten = \"localhost:8786\"\n",
         ":2: key 'http.listen': 'localhost' is not an IPv4 address"},
        {"[http]\nlisten = \"::1:8786\"\n", ":2: key 'http.listen': an IPv6 address is written"},
        {"[http]\nlisten = \"127.0.0.1:65536\"\n",
         ":2: key 'http.listen': the port must be a number from 0 to 65535"},
        {"[http]\nlisten = 8786\n", ":2: key 'http.listen': must be a text"},
        {"[http]\ntls_key = \"/etc/kstbell/tls.key\"\n",
         ":2: key 'http.tls_key': needs tls_cert as well"},
        {"[http]\nmetrics_public = \"yes\"\n", ":2: key 'http.metrics_public': must be true or"},
        {"[http]\nsession_idle_min = 0\n",
         ":2: key 'http.session_idle_min': must be an integer from 1 to 10080"},
        {"[http]\nmax_body_bytes = 100\n",
         ":2: key 'http.max_body_bytes': must be an integer from 1024 to 16777216"},
        {"[http]\nevent_streams = 0\n", ":2: key 'http.event_streams': must be an integer"},
        {"[http]\nconnections_per_client = 0\n",
         ":2: key 'http.connections_per_client': must be an integer from 1 to 4096"},
        {"[http]\nport = 8786\n", ":2: key 'http.port': unknown key (listen, tls_cert"},
        {"[calendar]\n", ":1: key 'calendar': unknown section"},
        {"[poll]\nperiod_ms = 5\n", ":2: key 'poll.period_ms': must be an integer"},
        {"[groups]\nall = [\"Gym\"]\n", ":2: key 'groups.all': 'all' is built in"},
        {"[groups]\nFloor1 = [\"Gym\"]\n", ":2: key 'groups.Floor1': a group's name is 1 to 32"},
        {"[groups]\nempty = []\n", ":2: key 'groups.empty': must be a list"},
        {"[groups]\nx = [\"Gymm\"]\n", ":2: key 'groups.x[0]': 'Gymm' is no horn's name"},
        {"[groups]\nx = [\"10.0.9.0/30\"]\n", ":2: key 'groups.x[0]': '10.0.9.0/30' holds no"},
        {"[groups]\nx = [1]\n", ":2: key 'groups.x[0]': must be a text"},
        {"[[devices.horn]]\naddress = \"10.0.5.1\"\ninput_alarm = \"flood\"\n",
         ":3: key 'devices.horn.input_alarm': no alarm named 'flood'"},
        {"[[devices.horn]]\naddress = \"10.0.5.1\"\ninput_hold_off_s = 5\n",
         ":3: key 'devices.horn.input_alarm': is missing"},
        {"[[devices.horn]]\naddress = \"10.0.5.1\"\ninput_debounce_ms = -1\n",
         ":3: key 'devices.horn.input_debounce_ms': must be an integer from 0 to 60000"},
        {"[[devices.horn]]\naddress = \"10.0.5.1\"\ninput = \"fire\"\n",
         ":3: key 'devices.horn.input': unknown key"},
        {"[schedule.week]\nmonday = \"d\"\n[schedule.day_plans.d]\n"
         "bells = [{ time = \"08:00\", group = \"hall\", tone = 1, duration_s = 5 }]\n",
         ":4: key 'schedule.day_plans.d.bells[0].group': no group named 'hall'"},
        {"[alarms.flood]\ngroup = \"cellar\"\nsteps = [{ on_ms = 100, off_ms = 0 }]\n",
         ":2: key 'alarms.flood.group'"},
    };
    for (const auto& [text, expected] : cases) {
        const auto errors = Mistakes(kHorns + kAlarm + "\n" + text);
        ASSERT_EQ(errors.size(), 1u) << text << Joined(errors);
        // The lines of the snippet come after the horns' and the alarm's.
        const auto shift =
            static_cast<unsigned long>(std::count(kHorns.begin(), kHorns.end(), '\n') +
                                       std::count(kAlarm.begin(), kAlarm.end(), '\n') + 1);
        const auto colon = expected.find(':', 1);
        const unsigned long line = std::stoul(expected.substr(1, colon - 1)) + shift;
        EXPECT_EQ(errors[0].rfind(kPath + ":" + std::to_string(line) + expected.substr(colon), 0),
                  0u)
            << errors[0] << "\nwanted " << expected;
    }
    // No horns at all: the devices are named.
    const auto none = Mistakes("[site]\nname = \"x\"\n");
    ASSERT_EQ(none.size(), 1u);
    EXPECT_NE(none[0].find("key 'devices': no horns"), std::string::npos) << none[0];
}

// Names and labels that people and logs read may hold no character that draws nothing or turns
// the text around it: "Gym" followed by a zero-width space would look like the horn "Gym".
TEST(SiteFileTest, NamesAndLabelsHoldNoInvisibleFormatCharacters) {
    const std::string kInvisible = "an invisible format character (zero-width or direction mark)";
    const struct {
        std::string Text;
        std::string Expected;  // the one mistake, or nothing: the file is read
    } cases[] = {
        {"[site]\nname = \"North\\u200Bschool\"\n",
         ":2: key 'site.name': must not hold " + kInvisible + ": U+200B at byte 6"},
        {"[site]\nname = \"\\u202Eloohcs\"\n",
         ":2: key 'site.name': must not hold " + kInvisible + ": U+202E at byte 1"},
        {"[[devices.horn]]\naddress = \"10.0.5.1\"\nname = \"Gym\\u2066\"\n",
         ":3: key 'devices.horn.name': must not hold " + kInvisible + ": U+2066 at byte 4"},
        {"[[devices.horn]]\naddress = \"10.0.5.1\"\nname = \"\\uFEFFPool\"\n",
         ":3: key 'devices.horn.name': must not hold " + kInvisible + ": U+FEFF at byte 1"},
        {"[alarms.flood]\nlabel = \"Flood\\u200D\"\nsteps = [{ on_ms = 100, off_ms = 0 }]\n",
         ":2: key 'alarms.flood.label': must not hold " + kInvisible + ": U+200D at byte 6"},
        {"[alarms.flood]\nlabel = \"\\U000E0041larm\"\nsteps = [{ on_ms = 100, off_ms = 0 }]\n",
         ":2: key 'alarms.flood.label': must not hold " + kInvisible + ": U+E0041 at byte 1"},
        // What draws is kept: accents, other scripts, emoji.
        {"[site]\nname = \"Zoë's Schule 学校 🔔\"\n", ""},
        {"[alarms.flood]\nlabel = \"Überflutung\"\nsteps = [{ on_ms = 100, off_ms = 0 }]\n", ""},
    };
    const auto shift =
        static_cast<unsigned long>(std::count(kHorns.begin(), kHorns.end(), '\n') +
                                   std::count(kAlarm.begin(), kAlarm.end(), '\n') + 1);
    for (const auto& c : cases) {
        TServiceConfig config;
        std::vector<std::string> errors;
        const bool read = ReadSiteText(kHorns + kAlarm + "\n" + c.Text, kPath, config, errors);
        if (c.Expected.empty()) {
            EXPECT_TRUE(read) << c.Text << Joined(errors);
            continue;
        }
        ASSERT_EQ(errors.size(), 1u) << c.Text << Joined(errors);
        const auto colon = c.Expected.find(':', 1);
        const unsigned long line = std::stoul(c.Expected.substr(1, colon - 1)) + shift;
        EXPECT_EQ(errors[0], kPath + ":" + std::to_string(line) + c.Expected.substr(colon));
    }
}

TEST(SiteFileTest, TheHttpTableTurnsTheFrontOnWithItsSettings) {
    TServiceConfig off;
    std::vector<std::string> errors;
    ASSERT_TRUE(ReadSiteText(kHorns, kPath, off, errors)) << Joined(errors);
    EXPECT_FALSE(off.Http);  // no table: no front

    TServiceConfig empty;
    ASSERT_TRUE(ReadSiteText(kHorns + "[http]\n", kPath, empty, errors)) << Joined(errors);
    ASSERT_TRUE(empty.Http);
    EXPECT_EQ(web::ListenText(empty.Http->Listen), "127.0.0.1:8786");
    EXPECT_FALSE(empty.Http->Tls());

    TServiceConfig c;
    ASSERT_TRUE(ReadSiteText(kHorns + R"([http]
listen = "[::1]:8443"
tls_cert = "/etc/kstbell/tls.pem"
tls_key = "/etc/kstbell/tls.key"
metrics_public = true
session_idle_min = 30
max_body_bytes = 4096
event_streams = 20
connections_per_client = 64
)",
                             kPath, c, errors))
        << Joined(errors);
    ASSERT_TRUE(c.Http);
    EXPECT_EQ(c.Http->Listen, (web::TListen{"::1", 8443}));
    EXPECT_TRUE(c.Http->Tls());
    EXPECT_EQ(c.Http->TlsKey, "/etc/kstbell/tls.key");
    EXPECT_TRUE(c.Http->MetricsPublic);
    EXPECT_EQ(c.Http->SessionIdle, std::chrono::minutes(30));
    EXPECT_EQ(c.Http->MaxBodyBytes, 4096u);
    EXPECT_EQ(c.Http->EventStreams, 20u);
    EXPECT_EQ(c.Http->ConnectionsPerClient, 64u);
}

TEST(SiteFileTest, EveryMistakeIsReportedAtOnceInLineOrder) {
    const auto errors = Mistakes(kHorns + R"(
[groups]
x = ["nobody"]
[poll]
parallel = 0
[site]
max_ring_s = 99999
[broker]
url = "http://x"
)");
    ASSERT_EQ(errors.size(), 4u) << Joined(errors);
    const char* keys[] = {"groups.x[0]", "poll.parallel", "site.max_ring_s", "broker.url"};
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_NE(errors[i].find(std::string("key '") + keys[i] + "'"), std::string::npos)
            << errors[i];
}

// --next and --check-config with the example's bells: where the zone's times end within the
// look ahead they say why, else what they always said.
TEST(SiteFileTest, TheReportsSayWhyBellsStopWhereTheZoneHasNoRule) {
    // Berlin's file without its rule for the years after 2037.
    const std::string folder = testing::TempDir() + "kstbell_site_zone_rules";
    std::filesystem::create_directories(folder + "/Europe");
    std::ifstream in("/usr/share/zoneinfo/Europe/Berlin", std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_GT(bytes.size(), 2u);
    bytes.erase(bytes.rfind('\n', bytes.size() - 2));
    std::ofstream(folder + "/Europe/Berlin", std::ios::binary) << bytes;

    TServiceConfig config;
    std::vector<std::string> errors;
    ASSERT_TRUE(ReadSiteFile(KSTBELL_SITE_EXAMPLE, config, errors)) << Joined(errors);
    const auto withRule = calendar::TTimeZone::Find("Europe/Berlin");
    const auto withoutRule = calendar::TTimeZone::Find("Europe/Berlin", folder);
    ASSERT_TRUE(withRule && withoutRule);
    const std::string why =
        "times from 2038-01-01T00:00:00Z on are unknown: the time zone "
        "database lists the clock changes of Europe/Berlin only up to 2037 "
        "and " +
        folder + "/Europe/Berlin holds no rule for later years";
    using std::chrono::sys_days;
    const sys_days early{std::chrono::year{2037} / 12 / 20};
    const sys_days late{std::chrono::year{2038} / 2 / 1};
    const struct {
        bool Rule;
        sys_days After;
        std::string NextEnds;  // the last line of the next 100000 bells
        std::string NextBell;  // the summary's line of the next bell
    } cases[] = {
        {true, early, "No more bells within 732 days.\n", "  next bell: 2037-12-21 "},
        {true, late, "No more bells within 732 days.\n", "  next bell: 2038-02-01 "},
        {false, early, "No more bells: " + why + ".\n", "  next bell: 2037-12-21 "},
        {false, late, "No more bells: " + why + ".\n", "  no bells ahead: " + why + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Rule ? "rule, " : "no rule, ") +
                     calendar::FormatDate(std::chrono::year_month_day{c.After}));
        config.Calendar.Zone = c.Rule ? *withRule : *withoutRule;
        const std::string next = NextBellsText(config, c.After, 100000);
        ASSERT_GE(next.size(), c.NextEnds.size());
        EXPECT_EQ(next.substr(next.size() - c.NextEnds.size()), c.NextEnds);
        const std::string summary = ConfigSummary(config, c.After);
        EXPECT_NE(summary.find(c.NextBell), std::string::npos) << summary;
    }
}

}  // namespace
}  // namespace kstbell::service
