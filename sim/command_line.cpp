#include "sim/command_line.h"

#include <limits>

#include "sim/program_options.h"

namespace kstbell::sim {

namespace {

const char* const kSimDescription =
    "kstbell-sim: simulated alarm horns (model 186) on TCP, for trying the programs without "
    "hardware";

const std::vector<TExitStatus> kSimExitCodes = {
    {0, "stopped by SIGTERM or SIGINT (Ctrl-C); --help, --version"},
    {kSimExitFailed,
     "the horns could not start (an address or port that cannot be bound, a "
     "state folder or relay log that cannot be used) or stopped on a fault"},
    {kExitUsage, "a mistake in the options"},
};

// A count or duration from 0 to max, as the option's value.
long SimNumber(const std::string& option, const std::string& text, long max) {
    std::size_t used = 0;
    long value = -1;
    try {
        value = std::stol(text, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || value < 0 || value > max) {
        throw TUsageMistake(option + ": expected a number from 0 to " + std::to_string(max) +
                            ", got \"" + text + "\"");
    }
    return value;
}

// An option whose value is a number from 0 to max, handed to store.
template <typename TStore>
CLI::Option* AddNumber(CLI::App& app, const std::string& name, const std::string& valueName,
                       long max, const std::string& help, TStore store) {
    return app
        .add_option_function<std::string>(
            name, [name, max, store](const std::string& v) { store(SimNumber(name, v, max)); },
            help)
        ->type_name(valueName);
}

void AddSimOptions(CLI::App& app, TCommandLine& line) {
    TSimOptions& o = line.Options;
    TSimFaults& f = o.Faults;
    constexpr long kMaxMs = std::numeric_limits<int>::max();
    constexpr long kMaxCount = std::numeric_limits<int>::max();
    constexpr long kMaxPadding = 16L * 1024 * 1024;
    constexpr long kMaxHorns = static_cast<long>(kMaxSimHorns);
    app.add_option("--bind", o.BindAddress, "IPv4 address to listen on (default 127.0.77.1)")
        ->type_name("ADDR");
    AddNumber(app, "--count", "N", kMaxHorns,
              "serve N horns on consecutive addresses from ADDR, skipping addresses ending in "
              ".0 and .255 (default 1, at most 100000)",
              [&line](long n) {
                  if (n == 0) throw TUsageMistake("--count needs at least one horn");
                  line.Count = static_cast<std::size_t>(n);
                  line.CountGiven = true;
              });
    AddNumber(app, "--port", "N", 65535,
              "TCP port of every horn, 0 for an ephemeral one (default 13577)",
              [&o](long n) { o.Port = static_cast<std::uint16_t>(n); });
    AddNumber(app, "--mac-offset", "N", (1L << 24) - kMaxHorns,
              "count the horns' MAC addresses from the Nth on (default 0), so that several "
              "simulators can serve one site",
              [&line](long n) { line.MacOffset = static_cast<std::size_t>(n); });
    app.add_option_function<std::string>(
           "--report-address", [&o](const std::string& address) { o.ReportedAddress = address; },
           "address put in the information reply (default: the bind address; counted "
           "up like the bind address with --count)")
        ->type_name("A");
    AddNumber(app, "--model", "N", 255, "model code, 0 to 255 (default 186)",
              [&o](long n) { o.Model = static_cast<std::uint8_t>(n); });
    app.add_option_function<std::string>(
           "--state-dir",
           [&o](const std::string& dir) {
               if (dir.empty()) throw TUsageMistake("--state-dir needs a folder");
               o.StateDir = dir;
           },
           "keep the flash files in DIR across runs; with --count one folder per horn, "
           "DIR/ADDRESS")
        ->type_name("DIR");
    AddNumber(app, "--input", "N", 255, "DI0 state, 0 to 255",
              [&line](long n) { line.Input = static_cast<std::uint8_t>(n); });
    app.add_flag("--never-answer", f.NeverAnswer, "read requests, never reply");
    app.add_flag("--negative-status", f.NegativeStatus, "refuse every command");
    app.add_flag("--wrong-magic", f.WrongMagic, "reply with a wrong frame magic");
    AddNumber(app, "--reply-delay", "MS", kMaxMs, "wait MS milliseconds before each reply",
              [&f](long n) { f.ReplyDelayMs = static_cast<int>(n); });
    app.add_flag("--close-on-accept", f.CloseOnAccept, "close every connection at once");
    AddNumber(app, "--split-reply", "MS", kMaxMs,
              "send replies in two pieces MS milliseconds apart",
              [&f](long n) { f.SplitReplyGapMs = static_cast<int>(n); });
    app.add_flag("--reset-mid-reply", f.ResetMidReply,
                 "send half a reply, then reset the connection");
    AddNumber(app, "--cut-reply", "N", kMaxCount,
              "send only the first N bytes of each reply, then close",
              [&f](long n) { f.CutReplyAfter = static_cast<int>(n); });
    AddNumber(app, "--pad-reply", "N", kMaxPadding,
              "lengthen each reply to N bytes (at most 16777216)",
              [&f](long n) { f.PadReplyTo = static_cast<std::size_t>(n); });
    AddNumber(app, "--trickle-reply", "MS", kMaxMs,
              "send replies one byte at a time, MS milliseconds apart",
              [&f](long n) { f.TrickleGapMs = static_cast<int>(n); });
    AddNumber(app, "--reset-data", "N", kMaxCount,
              "reset a file or image data connection after N bytes",
              [&f](long n) { f.ResetDataAfter = static_cast<int>(n); });
    AddNumber(app, "--stall-data", "MS", kMaxMs,
              "read nothing on a data connection for MS, then reset it",
              [&f](long n) { f.StallDataMs = static_cast<int>(n); });
    AddNumber(app, "--segment-size", "N", 65535,
              "announce TCP segments of N bytes (e.g. 1460, as on Wi-Fi)",
              [&f](long n) { f.SegmentSize = static_cast<int>(n); });
    app.add_flag("--corrupt-image", f.CorruptStoredImage,
                 "store firmware images with one byte changed");
    app.add_flag_callback(
        "--quiet", [&o] { o.LogToStderr = false; }, "no per-request log on stderr");
    app.add_option_function<std::string>(
           "--relay-log",
           [&o](const std::string& file) {
               if (file.empty()) throw TUsageMistake("--relay-log needs a file");
               o.RelayLogPath = file;
           },
           "append a line to FILE at every change of a horn's relay: microseconds since 1970 "
           "(UTC), address, relay, tone")
        ->type_name("FILE");
}

}  // namespace

std::optional<int> ParseCommandLine(const std::vector<std::string>& args, TCommandLine& line,
                                    std::ostream& out, std::ostream& err) {
    TCommandLine parsed;
    parsed.Options.LogToStderr = true;
    CLI::App app(kSimDescription, "kstbell-sim");
    SetUpProgram(app, "kstbell-sim", kSimExitCodes);
    AddSimOptions(app, parsed);
    if (const auto exit = ParseProgramLine(app, args, out, err)) return exit;
    line = std::move(parsed);
    return std::nullopt;
}

}  // namespace kstbell::sim
