#pragma once

// The program's options; each overrides the configuration file.

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "mqtt/config.h"

namespace kstbell::bridge {

struct TCommandLine {
    std::string ConfigPath;
    std::optional<std::string> Broker;
    std::optional<std::string> Base;
    std::vector<std::string> Devices;  // replace the file's list when given
    std::size_t Simulate = 0;          // bridge this many in-process simulated horns
};

inline constexpr std::size_t kMaxSimulated = 100000;
inline constexpr int kBridgeExitFailed = 1;  // the simulated horns did not start
inline constexpr int kBadConfiguration = 2;  // the options, the file, no horns, no broker

// Parses args, the words after the program's name, into line. Nothing when the bridge is to
// run; else the exit status after --help or --version (0, printed on out) or a usage mistake
// (2, told on err: an unknown option, a missing or bad value, --simulate with -d).
std::optional<int> ParseProgramLine(const std::vector<std::string>& args, TCommandLine& line,
                                    std::ostream& out, std::ostream& err);

// The same parse told as a value: false, with the reason, for a usage mistake (and for --help
// and --version, which print rather than parse).
bool ParseCommandLine(const std::vector<std::string>& args, TCommandLine& line, std::string& error);

// Puts the options over config.
void ApplyCommandLine(const TCommandLine& line, mqtt::TBridgeConfig& config);

}  // namespace kstbell::bridge
