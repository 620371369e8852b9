// kstbell-bridge's command line: its help with the exit codes, its usage mistakes, and the
// options as they are taken.

#include <gtest/gtest.h>

#include <sstream>

#include "support/program_line_cases.h"

#include "bridge/command_line.h"
#include "kstbell_version.h"

namespace kstbell::bridge {
namespace {

TEST(BridgeCommandLineTest, HelpAndVersionEndAtOnceAndMistakesExitTwo) {
    const std::vector<line_test::TProgramLineCase> cases = {
        {{"--help"}, 0, "EXIT STATUS\n  0    stopped by SIGTERM or SIGINT", ""},
        {{"-h"}, 0, "\n  1    the simulated horns (--simulate) did not start\n", ""},
        {{"--help"}, 0, "-d,--device ADDR", ""},
        {{"--version"}, 0, std::string("kstbell-bridge ") + KSTBELL_VERSION + "\n", ""},
        {{"--password", "secret"}, 2, "", "kstbell-bridge: unknown option --password\n"},
        {{"127.0.0.1"}, 2, "", "unknown option 127.0.0.1"},
        {{"-d"}, 2, "", "kstbell-bridge: --device needs a value"},
        {{"--config"}, 2, "", "--config needs a value"},
        {{"-d", "127.0.0.300"}, 2, "", "-d 127.0.0.300: "},
        {{"--broker", "http://127.0.0.1"}, 2, "", "must start with mqtt:// or mqtts://"},
        {{"--base", "a/+/b"}, 2, "", "--base: the base topic"},
        {{"--simulate", "0"}, 2, "", "--simulate needs a count from 1 to 100000"},
        {{"--simulate", "100001"}, 2, "", "--simulate needs a count from 1 to 100000"},
        {{"--simulate", "2", "-d", "127.0.0.1"}, 2, "", "--simulate and -d exclude each other"},
        {{"--simulate", "x"}, 2, "", "Run kstbell-bridge --help for the options."},
    };
    line_test::ExpectProgramLines(cases, [](const auto& args, auto& out, auto& err) {
        TCommandLine line;
        return ParseProgramLine(args, line, out, err);
    });
}

TEST(BridgeCommandLineTest, TheOptionsAreTakenAsTheyCome) {
    TCommandLine line;
    std::ostringstream out, err;
    ASSERT_FALSE(ParseProgramLine(
        {"--config", "/etc/kstbell/bridge.toml", "--broker", "mqtt://127.0.0.1:1883", "-d",
         "127.0.0.5", "--device", "127.0.1.0/30", "--base", "site/horns", "--base", "hall"},
        line, out, err))
        << err.str();
    EXPECT_EQ(line.ConfigPath, "/etc/kstbell/bridge.toml");
    EXPECT_EQ(line.Broker, "mqtt://127.0.0.1:1883");
    EXPECT_EQ(line.Devices, (std::vector<std::string>{"127.0.0.5", "127.0.1.0/30"}));
    EXPECT_EQ(line.Base, "hall") << "the last of an option given twice";
    EXPECT_EQ(line.Simulate, 0u);

    TCommandLine simulated;
    ASSERT_FALSE(ParseProgramLine({"--simulate", "100000"}, simulated, out, err)) << err.str();
    EXPECT_EQ(simulated.Simulate, 100000u);
    EXPECT_FALSE(simulated.Broker.has_value());
    EXPECT_FALSE(simulated.Base.has_value());
    EXPECT_EQ(out.str() + err.str(), "");

    // The same parse told as a value, as the configuration's tests use it.
    std::string error;
    EXPECT_FALSE(ParseCommandLine({"--simulate", "1", "-d", "127.0.0.1"}, line, error));
    EXPECT_EQ(error, "--simulate and -d exclude each other");
    EXPECT_FALSE(ParseCommandLine({"--help"}, line, error));
}

}  // namespace
}  // namespace kstbell::bridge
