#pragma once

// What the command line asks for: the global options, and the verb with its own arguments and
// options (held by the verb, see verbs/verb.h).

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/verbs/verb.h"
#include "site/device_list.h"

namespace CLI {
class App;
}

namespace kstbell::cli {

inline constexpr std::size_t kDefaultParallel = 64;
inline constexpr std::size_t kScanParallel = 256;
inline constexpr std::size_t kWatchParallel = 16;
inline constexpr int kDefaultTimeoutMs = 3000;

// The options of the whole program, taken before or after the verb.
struct TGlobalOptions {
    std::vector<std::string> Devices;  // -d, addresses or ranges as given
    std::string DeviceFile;            // --devices
    int Port = 13577;
    bool PortGiven = false;
    bool Json = false;
    std::size_t Parallel = kDefaultParallel;
    bool ParallelGiven = false;
    int TimeoutMs = kDefaultTimeoutMs;
    bool TimeoutGiven = false;
    bool CheckWifi = false;
    bool Yes = false;
    bool Quiet = false;
    bool Simulate = false;
    std::string SimState;  // --sim-state: the simulated horn's flash kept here
    std::size_t MaxDevices = site::kDefaultMaxDevices;  // --max-devices
    // The site service's verbs: its API's address, the certificates to trust for it, and the
    // file holding the API token.
    std::string Service;
    std::string ServiceCa;
    std::string TokenFile;
};

// The device limit of the command line, with the option that raises it.
site::TDeviceLimit DeviceLimit(const TGlobalOptions& global);

struct TCommandLine {
    TGlobalOptions Global;
    // One of each verb; the chosen one holds its own arguments and options.
    std::vector<std::unique_ptr<TVerb>> Verbs;
    TVerb* Verb = nullptr;
};

// Builds the parser for line: the global options and, from the table of verbs, a subcommand per
// verb (verbs of two words under their group). Each verb's subcommand is mapped to it in the
// order of line.Verbs: verbApps[i] belongs to line.Verbs[i]. Every verb's arguments and options
// are declared at once (ParseCommandLine declares only the verb that comes up).
void BuildCommandLine(CLI::App& app, TCommandLine& line, std::vector<CLI::App*>& verbApps);

// Parses argv. False when the program is to end at once (help shown, or a usage error told on
// err), with the exit code in exitCode.
bool ParseCommandLine(int argc, const char* const* argv, TCommandLine& line, std::ostream& out,
                      std::ostream& err, int& exitCode);

}  // namespace kstbell::cli
