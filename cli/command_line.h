#pragma once

// What the command line asks for: the global options, the verb and its arguments.

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace kstbell::cli {

inline constexpr std::size_t kDefaultParallel = 64;
inline constexpr std::size_t kScanParallel = 256;
inline constexpr std::size_t kWatchParallel = 16;
inline constexpr int kDefaultTimeoutMs = 3000;
inline constexpr int kDefaultWatchIntervalMs = 3100;

struct TCommandLine {
    // Global options.
    std::vector<std::string> Devices;  // -d, addresses or ranges as given
    std::string DeviceFile;            // --devices
    int Port = 13577;
    bool PortGiven = false;
    bool Json = false;
    std::size_t Parallel = kDefaultParallel;
    bool ParallelGiven = false;
    int TimeoutMs = kDefaultTimeoutMs;
    bool CheckWifi = false;
    bool Yes = false;
    bool Quiet = false;
    bool Simulate = false;
    std::string SimState;  // --sim-state: the simulated horn's flash kept here

    // The verb, its sub-verb joined by a space ("config apply", "set location").
    std::string Verb;
    std::vector<std::string> Args;  // positional arguments of the verb
    int IntervalMs = kDefaultWatchIntervalMs;
    int Tone = 0;
    bool DryRun = false;
    bool Reboot = false;
    bool Wait = false;
    std::string KeyFile;         // set ap / set station
    std::string KeyType;         // set station: "wep" or "wpa"
    std::string ApKeyFile;       // config save / apply
    std::string StationKeyFile;  // config save / apply

    // site log
    std::string Since;
    std::string Until;
    std::string Horn;
    std::vector<std::string> Kinds;
    std::vector<std::string> Causes;
    int Limit = 100;
    std::string StateDir;
};

// Parses argv. False when the program is to end at once (help shown, or a usage error told on
// err), with the exit code in exitCode.
bool ParseCommandLine(int argc, const char* const* argv, TCommandLine& line, std::ostream& out,
                      std::ostream& err, int& exitCode);

}  // namespace kstbell::cli
