// kstbell-sim's command line: its help with the exit codes, its usage mistakes, and every
// option into the simulator's settings.

#include <gtest/gtest.h>

#include <sstream>

#include "support/program_line_cases.h"

#include "kstbell_version.h"
#include "sim/command_line.h"

namespace kstbell::sim {
namespace {

struct TParsed {
    std::optional<int> Exit;
    std::string Out;
    std::string Err;
    TCommandLine Line;
};

TParsed Parse(const std::vector<std::string>& args) {
    TParsed p;
    std::ostringstream out, err;
    p.Exit = ParseCommandLine(args, p.Line, out, err);
    p.Out = out.str();
    p.Err = err.str();
    return p;
}

TEST(SimCommandLineTest, HelpAndVersionEndAtOnceAndMistakesExitTwo) {
    const std::vector<line_test::TProgramLineCase> cases = {
        {{"--help"}, 0, "EXIT STATUS\n  0    stopped by SIGTERM", ""},
        {{"-h"}, 0, "\n  2    a mistake in the options\n", ""},
        {{"--help"}, 0, "--relay-log FILE", ""},
        {{"--version"}, 0, std::string("kstbell-sim ") + KSTBELL_VERSION + "\n", ""},
        {{"--bogus", "1"}, 2, "", "kstbell-sim: unknown option --bogus\n"},
        {{"stray"}, 2, "", "unknown option stray"},
        {{"--port"}, 2, "", "kstbell-sim: --port needs a value"},
        {{"--port", "70000"}, 2, "", "--port: expected a number from 0 to 65535, got \"70000\""},
        {{"--model", "-1"}, 2, "", "--model: expected a number from 0 to 255"},
        {{"--reply-delay", "5ms"}, 2, "", "--reply-delay: expected a number"},
        {{"--count", "0"}, 2, "", "--count needs at least one horn"},
        {{"--count", "100001"}, 2, "", "--count: expected a number from 0 to 100000"},
        {{"--state-dir", ""}, 2, "", "--state-dir needs a folder"},
        {{"--relay-log", ""}, 2, "", "--relay-log needs a file"},
        {{"--input", "256"}, 2, "", "Run kstbell-sim --help for the options."},
    };
    line_test::ExpectProgramLines(cases, [](const auto& args, auto& out, auto& err) {
        TCommandLine line;
        return ParseCommandLine(args, line, out, err);
    });
}

TEST(SimCommandLineTest, EveryOptionSetsTheSimulator) {
    const TParsed defaults = Parse({});
    ASSERT_FALSE(defaults.Exit.has_value()) << defaults.Err;
    EXPECT_EQ(defaults.Line.Count, 1u);
    EXPECT_FALSE(defaults.Line.CountGiven);
    EXPECT_TRUE(defaults.Line.Options.LogToStderr);
    EXPECT_EQ(defaults.Line.Options.Port, 13577);
    EXPECT_EQ(defaults.Line.Options.BindAddress, "127.0.77.1");
    EXPECT_FALSE(defaults.Line.Input.has_value());

    const TParsed p = Parse({"--bind",
                             "127.0.78.1",
                             "--count",
                             "3",
                             "--port",
                             "0",
                             "--mac-offset",
                             "7",
                             "--report-address",
                             "10.0.0.9",
                             "--model",
                             "9",
                             "--state-dir",
                             "/tmp/flash",
                             "--input",
                             "1",
                             "--never-answer",
                             "--negative-status",
                             "--wrong-magic",
                             "--reply-delay",
                             "11",
                             "--close-on-accept",
                             "--split-reply",
                             "12",
                             "--reset-mid-reply",
                             "--cut-reply",
                             "13",
                             "--pad-reply",
                             "14",
                             "--trickle-reply",
                             "15",
                             "--reset-data",
                             "16",
                             "--stall-data",
                             "17",
                             "--segment-size",
                             "1460",
                             "--corrupt-image",
                             "--quiet",
                             "--relay-log",
                             "/tmp/relay.log",
                             "--port",
                             "13578"});
    ASSERT_FALSE(p.Exit.has_value()) << p.Err;
    const TSimOptions& o = p.Line.Options;
    const TSimFaults& f = o.Faults;
    EXPECT_EQ(o.BindAddress, "127.0.78.1");
    EXPECT_EQ(p.Line.Count, 3u);
    EXPECT_TRUE(p.Line.CountGiven);
    EXPECT_EQ(o.Port, 13578) << "the last of an option given twice";
    EXPECT_EQ(p.Line.MacOffset, 7u);
    EXPECT_EQ(o.ReportedAddress, "10.0.0.9");
    EXPECT_EQ(o.Model, 9);
    EXPECT_EQ(o.StateDir, "/tmp/flash");
    EXPECT_EQ(p.Line.Input, 1);
    EXPECT_TRUE(f.NeverAnswer && f.NegativeStatus && f.WrongMagic && f.CloseOnAccept &&
                f.ResetMidReply && f.CorruptStoredImage);
    EXPECT_EQ(f.ReplyDelayMs, 11);
    EXPECT_EQ(f.SplitReplyGapMs, 12);
    EXPECT_EQ(f.CutReplyAfter, 13);
    EXPECT_EQ(f.PadReplyTo, 14u);
    EXPECT_EQ(f.TrickleGapMs, 15);
    EXPECT_EQ(f.ResetDataAfter, 16);
    EXPECT_EQ(f.StallDataMs, 17);
    EXPECT_EQ(f.SegmentSize, 1460);
    EXPECT_FALSE(o.LogToStderr);
    EXPECT_EQ(o.RelayLogPath, "/tmp/relay.log");
}

}  // namespace
}  // namespace kstbell::sim
