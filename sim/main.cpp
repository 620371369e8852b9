// kstbell-sim: the device simulator as a stand-alone server, for trying the desktop program
// without hardware.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "kstbell_version.h"
#include "sim/simulated_site.h"
#include "sim/stop_request.h"

namespace {

using kstbell::sim::TSimOptions;
using kstbell::sim::TSimulatedSite;
using kstbell::sim::TSiteOptions;

constexpr const char* kUsage =
    "usage: kstbell-sim [options]\n"
    "  --bind ADDR          IPv4 address to listen on (default 127.0.77.1)\n"
    "  --count N            serve N horns on consecutive addresses from ADDR, skipping\n"
    "                       addresses ending in .0 and .255 (default 1, at most 100000)\n"
    "  --port N             TCP port of every horn, 0 for an ephemeral one (default 13577)\n"
    "  --mac-offset N       count the horns' MAC addresses from the Nth on (default 0), so\n"
    "                       that several simulators can serve one site\n"
    "  --report-address A   address put in the information reply (default: the bind address;\n"
    "                       counted up like the bind address with --count)\n"
    "  --model N            model code, 0 to 255 (default 186)\n"
    "  --state-dir DIR      keep the flash files in DIR across runs; with --count one\n"
    "                       folder per horn, DIR/ADDRESS\n"
    "  --input N            DI0 state, 0 to 255\n"
    "  --never-answer       read requests, never reply\n"
    "  --negative-status    refuse every command\n"
    "  --wrong-magic        reply with a wrong frame magic\n"
    "  --reply-delay MS     wait MS milliseconds before each reply\n"
    "  --close-on-accept    close every connection at once\n"
    "  --split-reply MS     send replies in two pieces MS milliseconds apart\n"
    "  --reset-mid-reply    send half a reply, then reset the connection\n"
    "  --cut-reply N        send only the first N bytes of each reply, then close\n"
    "  --pad-reply N        lengthen each reply to N bytes (at most 16777216)\n"
    "  --trickle-reply MS   send replies one byte at a time, MS milliseconds apart\n"
    "  --reset-data N       reset a file or image data connection after N bytes\n"
    "  --stall-data MS      read nothing on a data connection for MS, then reset it\n"
    "  --segment-size N     announce TCP segments of N bytes (e.g. 1460, as on Wi-Fi)\n"
    "  --corrupt-image      store firmware images with one byte changed\n"
    "  --quiet              no per-request log on stderr\n"
    "  --relay-log FILE     append a line to FILE at every change of a horn's relay:\n"
    "                       microseconds since 1970 (UTC), address, relay, tone\n"
    "  --help               show this text\n"
    "  --version            print the version\n";

struct TUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

long ParseNumber(std::string_view option, const std::string& text, long max) {
    std::size_t used = 0;
    long value = -1;
    try {
        value = std::stol(text, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || value < 0 || value > max) {
        throw TUsageError(std::string(option) + ": expected a number from 0 to " +
                          std::to_string(max) + ", got \"" + text + "\"");
    }
    return value;
}

struct TCommandLine {
    TSimOptions Options;
    std::size_t Count = 1;
    bool CountGiven = false;
    std::size_t MacOffset = 0;
    std::optional<std::uint8_t> Input;
    bool Help = false;
};

TCommandLine ParseCommandLine(int argc, char** argv) {
    TCommandLine line;
    TSimOptions& options = line.Options;
    options.LogToStderr = true;
    constexpr long kMaxMs = std::numeric_limits<int>::max();
    constexpr long kMaxCount = std::numeric_limits<int>::max();
    constexpr long kMaxPadding = 16L * 1024 * 1024;
    constexpr long kMaxHorns = 100000;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw TUsageError(std::string(option) + " needs a value");
            return argv[++i];
        };
        if (option == "--help" || option == "-h") {
            line.Help = true;
        } else if (option == "--version") {
            std::cout << "kstbell-sim " << KSTBELL_VERSION << "\n";
            std::exit(0);
        } else if (option == "--bind") {
            options.BindAddress = value();
        } else if (option == "--count") {
            line.Count = static_cast<std::size_t>(ParseNumber(option, value(), kMaxHorns));
            if (line.Count == 0) throw TUsageError("--count needs at least one horn");
            line.CountGiven = true;
        } else if (option == "--mac-offset") {
            line.MacOffset =
                static_cast<std::size_t>(ParseNumber(option, value(), (1L << 24) - kMaxHorns));
        } else if (option == "--port") {
            options.Port = static_cast<std::uint16_t>(ParseNumber(option, value(), 65535));
        } else if (option == "--report-address") {
            options.ReportedAddress = value();
        } else if (option == "--model") {
            options.Model = static_cast<std::uint8_t>(ParseNumber(option, value(), 255));
        } else if (option == "--state-dir") {
            options.StateDir = value();
            if (options.StateDir.empty()) throw TUsageError("--state-dir needs a folder");
        } else if (option == "--input") {
            line.Input = static_cast<std::uint8_t>(ParseNumber(option, value(), 255));
        } else if (option == "--never-answer") {
            options.Faults.NeverAnswer = true;
        } else if (option == "--negative-status") {
            options.Faults.NegativeStatus = true;
        } else if (option == "--wrong-magic") {
            options.Faults.WrongMagic = true;
        } else if (option == "--reply-delay") {
            options.Faults.ReplyDelayMs = static_cast<int>(ParseNumber(option, value(), kMaxMs));
        } else if (option == "--close-on-accept") {
            options.Faults.CloseOnAccept = true;
        } else if (option == "--split-reply") {
            options.Faults.SplitReplyGapMs = static_cast<int>(ParseNumber(option, value(), kMaxMs));
        } else if (option == "--reset-mid-reply") {
            options.Faults.ResetMidReply = true;
        } else if (option == "--cut-reply") {
            options.Faults.CutReplyAfter =
                static_cast<int>(ParseNumber(option, value(), kMaxCount));
        } else if (option == "--pad-reply") {
            options.Faults.PadReplyTo =
                static_cast<std::size_t>(ParseNumber(option, value(), kMaxPadding));
        } else if (option == "--trickle-reply") {
            options.Faults.TrickleGapMs = static_cast<int>(ParseNumber(option, value(), kMaxMs));
        } else if (option == "--reset-data") {
            options.Faults.ResetDataAfter =
                static_cast<int>(ParseNumber(option, value(), kMaxCount));
        } else if (option == "--stall-data") {
            options.Faults.StallDataMs = static_cast<int>(ParseNumber(option, value(), kMaxMs));
        } else if (option == "--segment-size") {
            options.Faults.SegmentSize = static_cast<int>(ParseNumber(option, value(), 65535));
        } else if (option == "--corrupt-image") {
            options.Faults.CorruptStoredImage = true;
        } else if (option == "--relay-log") {
            options.RelayLogPath = value();
            if (options.RelayLogPath.empty()) throw TUsageError("--relay-log needs a file");
        } else if (option == "--quiet") {
            options.LogToStderr = false;
        } else {
            throw TUsageError("unknown option " + std::string(option));
        }
    }
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    TCommandLine line;
    try {
        line = ParseCommandLine(argc, argv);
    } catch (const TUsageError& error) {
        std::cerr << "kstbell-sim: " << error.what() << "\n"
                  << "Run kstbell-sim --help for the options.\n";
        return 2;
    }
    if (line.Help) {
        std::cout << kUsage;
        return 0;
    }

    kstbell::sim::PrepareStopRequests();

    try {
        TSimulatedSite site(
            TSiteOptions{std::move(line.Options), line.Count, line.CountGiven, line.MacOffset});
        for (std::size_t i = 0; line.Input && i < site.Count(); ++i)
            site.SetInput(i, *line.Input);
        site.Start();
        if (site.Count() == 1) {
            std::cout << "kstbell-sim listening on " << site.Address(0) << ":" << site.Port()
                      << std::endl;
        } else {
            std::cout << "kstbell-sim serving " << site.Count() << " horns from " << site.Address(0)
                      << " to " << site.Address(site.Count() - 1) << " on port " << site.Port()
                      << std::endl;
        }
        kstbell::sim::WaitForStopRequest();
        site.Stop();
    } catch (const std::exception& error) {
        std::cerr << "kstbell-sim: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
