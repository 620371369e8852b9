// The verbs against simulated horns: what each one leaves on the horn (the setup window's files
// and commands), refusals without a terminal, and many horns at once.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <set>
#include <sstream>

#include "cli_harness.h"
#include "device/settings.h"

namespace kstbell::cli::test {
namespace {

using TClock = std::chrono::steady_clock;

TEST(CliVerbs, EachVerbLeavesTheSetupWindowsFilesAndCommandsOnTheHorn) {
    const std::string key = TempFile("key", "secret-key-12\n");  // the line end is not the key
    struct Case {
        std::vector<std::string> args;
        std::function<void(const THorns&)> check;
    };
    const TModbusSettings modbus{1502, 30};
    const Case cases[] = {
        {{"relay", "on", "--tone", "2"},
         [](const THorns& h) {
             EXPECT_EQ(h.Site.Snapshot(0).Relay, 1);
             EXPECT_EQ(h.Site.Snapshot(0).Tone, 2);
         }},
        {{"find-me"}, [](const THorns& h) { EXPECT_EQ(h.Site.Snapshot(0).LocatorCount, 1); }},
        {{"set", "location", "Hall 2"},
         [](const THorns& h) { EXPECT_TRUE(h.FileIs(0, kLocationFile, "Hall 2")); }},
        {{"set", "modbus", "1502", "30"},
         [&](const THorns& h) { EXPECT_TRUE(h.FileIs(0, kModbusFile, ModbusFile(modbus))); }},
        {{"set", "ap", "Horn-AP", "--key-file", key},
         [](const THorns& h) {
             EXPECT_TRUE(h.FileIs(0, kApSsidFile, "Horn-AP"));
             EXPECT_TRUE(h.FileIs(0, kApKeyFile, "secret-key-12"));
         }},
        {{"set", "station", "Plant", "--key-file", key, "--key-type", "wep"},
         [](const THorns& h) {
             EXPECT_TRUE(h.FileIs(0, kStaSsidFile, "Plant"));
             EXPECT_TRUE(h.FileIs(0, kStaKeyTypeFile, std::string(1, '\x01')));
         }},
        {{"set", "station", "Open-Net"},
         [](const THorns& h) {
             EXPECT_TRUE(h.FileIs(0, kStaKeyFile, "(none)"));
             EXPECT_TRUE(h.FileIs(0, kStaKeyTypeFile, std::string(1, '\0')));
         }},
        {{"set", "static-ip", "10.0.0.5", "255.255.255.0", "10.0.0.1"},
         [](const THorns& h) {
             EXPECT_TRUE(
                 h.FileIs(0, kStaticIpFile,
                          std::string("\x0A\x00\x00\x05\xFF\xFF\xFF\x00\x0A\x00\x00\x01", 12)));
         }},
        {{"set", "static-ip", "off"},
         [](const THorns& h) { EXPECT_TRUE(h.FileIs(0, kStaticIpFile, "(none)")); }},
        {{"wifi-mode", "station"},
         [](const THorns& h) {
             EXPECT_EQ(h.Site.Snapshot(0).RestartCount, 1);
             EXPECT_EQ(h.Site.Snapshot(0).WifiMode, 0);
         }},
        {{"reset-default"}, [](const THorns& h) { EXPECT_EQ(h.Site.Snapshot(0).RestartCount, 1); }},
        {{"reboot", "--wait"},
         [](const THorns& h) { EXPECT_EQ(h.Site.Snapshot(0).RestartCount, 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.at(c.args.size() > 1 ? 1 : 0));
        THorns horns("127.0.92.1", 1);
        const auto r = RunCli(Join(Join(horns.Target(), {"--json", "--yes"}), c.args));
        EXPECT_EQ(r.Code, 0) << r.Out << r.Err;
        ASSERT_EQ(r.Lines().size(), 1u) << r.Out;
        EXPECT_TRUE(r.Lines()[0]["ok"]) << r.Out;
        c.check(horns);
    }
}

TEST(CliVerbs, ValuesThatBreakTheWindowsRulesReachNoHorn) {
    const std::string shortKey = TempFile("short", "1234567");
    const std::vector<std::vector<std::string>> cases = {
        {"set", "location", std::string(32, 'x')},
        {"set", "location", ""},
        {"set", "modbus", "13577", "30"},
        {"set", "modbus", "502", "65001"},
        {"set", "modbus", "port", "30"},
        {"set", "ap", std::string(32, 's')},
        {"set", "ap", "Horn", "--key-file", shortKey},
        {"set", "station", "Horn", "--key-file", "/nonexistent/key"},
        {"set", "static-ip", "10.0.0.256", "255.255.255.0", "10.0.0.1"},
        {"firmware", "/nonexistent/image.bin"},
    };
    THorns horns("127.0.92.11", 1);
    for (const auto& args : cases) {
        SCOPED_TRACE(args.at(1));
        const auto r = RunCli(Join(Join(horns.Target(), {"--json", "--yes"}), args));
        EXPECT_EQ(r.Code, 1) << r.Out << r.Err;
        ASSERT_EQ(r.Lines().size(), 1u) << r.Out;
        EXPECT_EQ(r.Lines()[0]["error"]["kind"], "invalid_input");
    }
    EXPECT_TRUE(horns.Site.Requests(0).empty());
}

TEST(CliVerbs, ChangingVerbsAskOnATerminalAndRefuseWithoutOne) {
    const std::string image = TempFile("image.bin", "FWVER=\x01\x0B");
    const std::string snapshot = TempFile(
        "loc.json", R"({"format":"kstbellctl-config/1","settings":{"location":"Elsewhere"}})");
    const std::vector<std::vector<std::string>> verbs = {
        {"set", "location", "Hall"}, {"config", "apply", snapshot},
        {"wifi-mode", "station"},    {"reboot"},
        {"reset-default"},           {"firmware", image},
    };
    THorns horns("127.0.92.21", 1);
    for (const auto& verb : verbs) {
        SCOPED_TRACE(verb.front());
        // No terminal and no --yes: a usage error, and nothing changes.
        auto r = RunCli(Join(horns.Target(), verb));
        EXPECT_EQ(r.Code, 2) << r.Err;
        EXPECT_NE(r.Err.find("--yes"), std::string::npos) << r.Err;
        // A terminal where the answer is no.
        std::istringstream no("n\n");
        TRunEnv env = TestEnv();
        env.In = &no;
        env.InputIsTerminal = true;
        r = RunCli(Join(horns.Target(), verb), env);
        EXPECT_EQ(r.Code, 1) << r.Err;
        EXPECT_NE(r.Err.find("[y/N]"), std::string::npos) << r.Err;
    }
    EXPECT_EQ(horns.Site.Snapshot(0).RestartCount, 0);
    EXPECT_TRUE(horns.FileIs(0, kLocationFile, "(none)"));
    EXPECT_TRUE(horns.FileIs(0, "/sys/mcuimg.bin", "(none)"));

    std::istringstream yes("yes\n");
    TRunEnv env = TestEnv();
    env.In = &yes;
    env.InputIsTerminal = true;
    EXPECT_EQ(RunCli(Join(horns.Target(), {"set", "location", "Hall"}), env).Code, 0);
    EXPECT_TRUE(horns.FileIs(0, kLocationFile, "Hall"));
}

TEST(CliVerbs, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"-d", "127.0.92.300", "status"},
        {"-d", "127.0.92.1/33", "status"},
        {"--devices", "/nonexistent/list", "status"},
        {"-d", "127.0.92.1", "relay", "loud"},
        {"-d", "127.0.92.1", "relay", "on", "--tone", "4"},
        {"-d", "127.0.92.1", "--yes", "set", "static-ip", "10.0.0.1", "255.0.0.0"},
        {"-d", "127.0.92.1", "config", "apply", "f.json", "--wait"},
        {"-d", "127.0.92.1/30", "config", "save", "one-file.json"},
        {"--sim-state", "/tmp", "status"},
        {"scan", "not-a-range"},
    };
    for (const auto& args : cases) {
        const auto r = RunCli(args);
        EXPECT_EQ(r.Code, 2) << (args.empty() ? "" : args.back()) << ": " << r.Err;
        EXPECT_TRUE(r.Out.empty()) << r.Out;
    }
    const auto help = RunCli({"--help"});
    EXPECT_EQ(help.Code, 0);
    for (const char* part : {"Exit codes", "rssi_dbm", "unreachable", "verify_failed"})
        EXPECT_NE(help.Out.find(part), std::string::npos) << part;
}

TEST(CliVerbs, ManyHornsAreWorkedOnAtOnceAndEachIsReportedOnce) {
    THorns horns("127.0.92.33", 40);  // .33 to .72
    const auto start = TClock::now();
    const auto r = RunCli({"--port", horns.Port(), "-d", "127.0.92.32/27", "-d", "127.0.92.64/28",
                           "-d", "127.0.92.63", "-d", "127.0.92.64", "-d", "127.0.92.33", "--json",
                           "--parallel", "8", "status"});
    const auto elapsed = TClock::now() - start;
    // 40 horns answer; .73 to .78 are unreachable; the repeated .33 is asked once.
    std::size_t ok = 0;
    std::set<std::string> seen;
    for (const auto& line : r.Lines()) {
        EXPECT_TRUE(seen.insert(line["device"].get<std::string>()).second) << line;
        ok += line["ok"] ? 1 : 0;
    }
    EXPECT_EQ(ok, 40u);
    EXPECT_EQ(seen.size(), 46u);
    EXPECT_EQ(r.Code, 3);
    EXPECT_LT(elapsed, std::chrono::seconds(10));
}

TEST(CliVerbs, ScanReportsTheHornsOfARangeAndWaitsForSilentOnesOnlyOnce) {
    THorns horns("127.0.93.1", 10);
    auto r = RunCli({"--port", horns.Port(), "--json", "scan", "127.0.93.0/24"});
    EXPECT_EQ(r.Code, 0) << r.Err;
    ASSERT_EQ(r.Lines().size(), 10u);
    for (const auto& line : r.Lines()) {
        EXPECT_TRUE(line["ok"]);
        EXPECT_EQ(line["result"]["model"], 186);
        EXPECT_EQ(line["result"]["address"], line["device"]);
    }
    EXPECT_NE(r.Err.find("10 horns answered"), std::string::npos) << r.Err;

    sim::TSimFaults never;
    never.NeverAnswer = true;
    THorns silent("127.0.94.1", 60, never);
    const auto start = TClock::now();
    r = RunCli({"--port", silent.Port(), "--json", "scan", "127.0.94.0/26"});
    const auto elapsed = TClock::now() - start;
    EXPECT_EQ(r.Code, 3) << "no horn answered";
    EXPECT_TRUE(r.Out.empty());
    EXPECT_NE(r.Err.find("60 accepted a connection but did not answer"), std::string::npos);
    // One reply wait (1 s) for all of them, not one after another; generous for sanitizers.
    EXPECT_LT(elapsed, std::chrono::milliseconds(3000));
}

}  // namespace
}  // namespace kstbell::cli::test
