// kstbelld as a program: its checks of the site file, and runs under the conditions systemd
// gives it (state folder from STATE_DIRECTORY, the unit's options, SIGTERM, a second instance,
// a restart), and a kill -9 in the middle of a ring, after which a restart switches the horn off
// and the audit log is whole.

#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "service_fixture.h"
#include "store/audit_reader.h"
#include "store/store.h"

namespace kstbell::service::test {
namespace {

using namespace std::chrono;
using mqtt::test::RunToEnd;

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool LogSays(const std::string& log, const std::string& text, milliseconds timeout = 15s) {
    return Eventually([&] { return ReadText(log).find(text) != std::string::npos; }, timeout);
}

// kstbelld with STATE_DIRECTORY set, as the unit runs it (the options of its ExecStart, the
// configuration file in place of /etc/kstbell/site.toml).
std::vector<std::string> AsUnit(const std::string& state, const std::string& config) {
    std::vector<std::string> argv{"/usr/bin/env", "STATE_DIRECTORY=" + state, KSTBELLD};
    const std::string unit = ReadText(KSTBELLD_UNIT);
    std::smatch exec;
    EXPECT_TRUE(std::regex_search(unit, exec, std::regex("\nExecStart=(\\S+)([^\n]*)")));
    std::istringstream options(exec[2].str());
    for (std::string option; options >> option;)
        argv.push_back(option == kDefaultConfigPath ? config : option);
    return argv;
}

std::vector<store::TAuditEntry> Audit(const std::string& state) {
    store::TAuditQuery query;
    query.Order = store::TAuditOrder::OldestFirst;
    query.Limit = store::kMaxAuditLimit;
    return store::TAuditReader(state).Query(query).Entries;
}

std::size_t Count(const std::vector<store::TAuditEntry>& entries, store::TAuditKind kind) {
    return static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(),
                                                  [&](const auto& e) { return e.Kind == kind; }));
}

TEST(ServiceProgramTest, ChecksTheSiteFileAndPrintsTheNextBells) {
    TTempDir dir;
    const std::string bad = dir.Write("bad.toml", "[site]\nmax_ring_s = 0\n[poll]\nparallel = 0\n");
    const std::string example = KSTBELL_SITE_EXAMPLE;
    struct TCase {
        std::vector<std::string> Args;
        int Exit;
        std::string Says;
    };
    const TCase cases[] = {
        {{"--check-config", "--config", example}, 0, example + ": valid"},
        {{"--next", "3", "--config", example}, 0, "The next 3 bell(s), time zone"},
        {{"--check-config", "--config", bad},
         2,
         bad + ":2: key 'site.max_ring_s': must be an integer from 1 to 3600\nkstbelld: " + bad +
             ":4: key 'poll.parallel'"},
        {{"--check-config", "--config", dir.Path() + "/absent.toml"}, 2, "absent.toml"},
        {{"--simulate", "3", "--next", "2"}, 0, "demo  group"},
        {{"--next", "0"}, 2, "--next needs a count from 1 to 1000"},
        {{"--check-config", "--next", "2"}, 2, "exclude each other"},
        {{"--reload"}, 2, "unknown option --reload"},
        {{"--simulate", "3", "--http", "localhost:80"}, 2, "--http localhost:80: 'localhost' is"},
        {{"--version"}, 0, "kstbelld "},
        // The users of the state folder's database (the users' own tests say the rest).
        {{"user", "list", "--state-dir", dir.Path() + "/state"}, 0, "NAME  ROLE"},
        {{"token", "create", "x", "--state-dir", dir.Path() + "/state"}, 2, "--user"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{KSTBELLD};
        argv.insert(argv.end(), c.Args.begin(), c.Args.end());
        std::string out;
        EXPECT_EQ(RunToEnd(argv, out), c.Exit) << c.Args.front() << "\n" << out;
        EXPECT_NE(out.find(c.Says), std::string::npos) << out;
    }
}

TEST(ServiceProgramTest, SimulateServesThePageWithADemoAccountAndRefusesATakenPort) {
    TTempDir dir;
    const std::string log = dir.Path() + "/first.log";
    TChild first({KSTBELLD, "--simulate", "3", "--http", "127.0.0.1:0", "--state-dir",
                  dir.Path() + "/first"},
                 log);
    ASSERT_TRUE(LogSays(log, "with the password")) << ReadText(log);
    // The demo's timetable is kept in the database, and its first bell, a minute after the
    // start, is still the next one (the service's own lines may follow the page's).
    ASSERT_TRUE(LogSays(log, "next bell: ")) << ReadText(log);
    std::smatch found;
    const std::string text = ReadText(log);
    EXPECT_NE(text.find("timetable: the database's, revision 1"), std::string::npos) << text;
    EXPECT_NE(text.find("next bell: demo "), std::string::npos) << text;
    ASSERT_TRUE(std::regex_search(text, found,
                                  std::regex("the page is at http://127\\.0\\.0\\.1:([0-9]+)/\\n"
                                             "kstbelld: log in as \"demo\" \\(admin\\) with the "
                                             "password (\\S+)\\n")))
        << text;
    const std::string port = found[1], password = found[2];

    httplib::Client client("127.0.0.1", std::stoi(port));
    const auto wrong =
        client.Post("/api/v1/session", R"({"user":"demo","password":"nope"})", "application/json");
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 401);
    const auto login =
        client.Post("/api/v1/session", R"({"user":"demo","password":")" + password + R"("})",
                    "application/json");
    ASSERT_TRUE(login);
    EXPECT_EQ(login->status, 200) << login->body;
    EXPECT_NE(login->body.find(R"("role":"admin")"), std::string::npos) << login->body;

    // A second service on the same address says so and ends.
    const std::string second = dir.Path() + "/second.log";
    TChild taken({KSTBELLD, "--simulate", "3", "--http", "127.0.0.1:" + port, "--state-dir",
                  dir.Path() + "/second"},
                 second);
    EXPECT_EQ(taken.Wait(15s), 2) << ReadText(second);
    EXPECT_NE(ReadText(second).find("HTTP front: cannot listen on 127.0.0.1:" + port),
              std::string::npos)
        << ReadText(second);

    first.Signal(SIGTERM);
    EXPECT_EQ(first.Wait(15s), 0) << ReadText(log);
}

TEST(ServiceProgramTest, RunsAsTheUnitDoesStopsOnSigtermAndRestarts) {
    TTempDir dir;
    auto horns = StartHorns("127.0.92.1", 2);
    const std::string config = dir.Write("site.toml", SiteText(*horns));
    ASSERT_EQ(chmod(config.c_str(), 0444), 0);  // ConfigurationDirectory is read-only to it
    const std::string state = dir.Path() + "/state";
    for (int run = 1; run <= 2; ++run) {
        const std::string log = dir.Path() + "/kstbelld-" + std::to_string(run) + ".log";
        TChild service(AsUnit(state, config), log);
        ASSERT_TRUE(LogSays(log, "horn 127.0.92.2 online")) << ReadText(log);
        if (run == 1) {
            std::string out;
            EXPECT_EQ(RunToEnd(AsUnit(state, config), out), 1) << out;
            EXPECT_NE(out.find("another kstbelld (pid " + std::to_string(service.Pid()) + ")"),
                      std::string::npos)
                << out;
        }
        service.Signal(SIGTERM);
        EXPECT_EQ(service.Wait(15s), 0) << ReadText(log);
    }
    struct stat file {};
    ASSERT_EQ(stat(store::DatabasePath(state).c_str(), &file), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    const auto entries = Audit(state);
    EXPECT_EQ(Count(entries, store::TAuditKind::ServiceStart), 2u);
    EXPECT_EQ(Count(entries, store::TAuditKind::ServiceStop), 2u);
    EXPECT_EQ(Count(entries, store::TAuditKind::HornOnline), 4u);
}

TEST(ServiceProgramTest, AKillMidRingThenARestartSwitchesTheHornOff) {
    TTempDir dir;
    auto horns = StartHorns("127.0.93.1", 1);
    const auto at = SecondsAhead(2500ms);
    const std::string config = dir.Write("site.toml", SiteText(*horns, BellsAt({at}, 3)));
    const std::string state = dir.Path() + "/state";
    const std::string log = dir.Path() + "/kstbelld.log";
    {
        TChild service(AsUnit(state, config), log);
        ASSERT_TRUE(Eventually([&] { return horns->Snapshot(0).Relay == 1; }, 10s))
            << ReadText(log);
        ASSERT_TRUE(LogSays(log, "ms after its instant")) << ReadText(log);
        // The bell's entry is written once its horn has answered, a moment after the relay.
        ASSERT_TRUE(
            Eventually([&] { return Count(Audit(state), store::TAuditKind::BellFired) == 1; }, 10s))
            << ReadText(log);
        service.Signal(SIGKILL);
        EXPECT_EQ(service.Wait(10s), 128 + SIGKILL);
    }
    // Nobody switches it off while the service is gone, past the ring's end.
    std::this_thread::sleep_until(system_clock::time_point(at + 3s + 500ms));
    EXPECT_EQ(horns->Snapshot(0).Relay, 1);

    // The file is whole and holds what the first run wrote.
    {
        SQLite::Database raw(store::DatabasePath(state).string(), SQLite::OPEN_READONLY);
        EXPECT_EQ(raw.execAndGet("PRAGMA integrity_check").getString(), "ok");
    }
    const auto before = Audit(state);
    EXPECT_EQ(Count(before, store::TAuditKind::BellFired), 1u);
    EXPECT_EQ(Count(before, store::TAuditKind::ServiceStop), 0u);

    const auto restart = steady_clock::now();
    TChild service(AsUnit(state, config), log);
    ASSERT_TRUE(Eventually([&] { return horns->Snapshot(0).Relay == 0; }, 10s)) << ReadText(log);
    const auto off = duration_cast<milliseconds>(steady_clock::now() - restart);
    std::cout << "relay off " << off.count() << " ms after the restart began\n";
    EXPECT_LT(off, milliseconds(kPeriodMs + kReplyWaitMs) + 3s);
    EXPECT_TRUE(LogSays(log, "1 ended ring(s) whose horns are switched off")) << ReadText(log);
    EXPECT_TRUE(LogSays(log, "while the service was not running: 1 horn told off now"))
        << ReadText(log);
    service.Signal(SIGTERM);
    EXPECT_EQ(service.Wait(15s), 0);
    const auto after = Audit(state);
    EXPECT_EQ(Count(after, store::TAuditKind::BellFired), 1u) << "not rung again";
    // The end the first run never saw, and the switch-off at the start, are in the log.
    const auto ring = std::find_if(after.begin(), after.end(), [](const auto& e) {
                          return e.Kind == store::TAuditKind::BellFired;
                      })->RingId;
    std::size_t ends = 0, offs = 0;
    for (const auto& e : after) {
        if (e.RingId != ring) continue;
        if (e.Kind == store::TAuditKind::RingEnd) {
            ++ends;
            EXPECT_NE(e.Detail.find("while the service was not running"), std::string::npos)
                << e.Detail;
        }
        if (e.Kind == store::TAuditKind::HornStopped) {
            ++offs;
            EXPECT_EQ(e.HornAddress, horns->Address(0));
        }
    }
    EXPECT_EQ(ends, 1u);
    EXPECT_EQ(offs, 1u);
}

TEST(ServiceProgramTest, ASigtermMidRingSwitchesTheHornOffBeforeItExits) {
    TTempDir dir;
    auto horns = StartHorns("127.0.94.1", 1);
    const auto at = SecondsAhead(2500ms);
    const std::string config = dir.Write("site.toml", SiteText(*horns, BellsAt({at}, 5)));
    const std::string state = dir.Path() + "/state";
    const std::string log = dir.Path() + "/kstbelld.log";
    TChild service(AsUnit(state, config), log);
    ASSERT_TRUE(Eventually([&] { return horns->Snapshot(0).Relay == 1; }, 10s)) << ReadText(log);
    std::this_thread::sleep_until(system_clock::time_point(at + 1s));
    ASSERT_EQ(horns->Snapshot(0).Relay, 1);
    const auto stopping = steady_clock::now();
    service.Signal(SIGTERM);
    EXPECT_EQ(service.Wait(15s), 0) << ReadText(log);
    std::cout << "exited " << duration_cast<milliseconds>(steady_clock::now() - stopping).count()
              << " ms after SIGTERM\n";
    // Off before the process ended, not at the next start.
    EXPECT_EQ(horns->Snapshot(0).Relay, 0) << ReadText(log);
    EXPECT_TRUE(LogSays(log, "1 ring(s) ended, 1 of 1 horn(s) seen off")) << ReadText(log);
    const auto entries = Audit(state);
    EXPECT_EQ(Count(entries, store::TAuditKind::RingEnd), 1u);
    const auto stop = std::find_if(entries.begin(), entries.end(), [](const auto& e) {
        return e.Kind == store::TAuditKind::ServiceStop;
    });
    ASSERT_NE(stop, entries.end());
    EXPECT_NE(stop->Detail.find("1 of 1 horn(s) seen off"), std::string::npos) << stop->Detail;
    // The unit gives the stop time for its wait.
    std::smatch timeout;
    const std::string unit = ReadText(KSTBELLD_UNIT);
    ASSERT_TRUE(std::regex_search(unit, timeout, std::regex("\nTimeoutStopSec=(\\d+)")));
    EXPECT_GE(std::stoi(timeout[1].str()) * 1000, kStopOffWait.count() * 3);
}

}  // namespace
}  // namespace kstbell::service::test
