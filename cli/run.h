#pragma once

// kstbellctl as a function: the program's entry point calls it with the process's streams;
// tests call it with their own and without a process.

#include <atomic>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>

#include "ports/host_network_source.h"

namespace kstbell::cli {

// What the program runs in.
struct TRunEnv {
    // Where answers to confirmation questions come from, and whether that is a terminal: a
    // destructive verb asks only on a terminal.
    std::istream* In = nullptr;
    bool InputIsTerminal = false;
    // Whether the error stream is a terminal: progress lines are drawn only there.
    bool ErrIsTerminal = false;
    // Set when the program is interrupted: no device is started, watch ends, waits give up,
    // and a device's work stops before its next step.
    const std::atomic<bool>* Stop = nullptr;
    // Counts the transfers under way (a file or an image: a header, then its data); a second
    // interrupt waits for them, so that no horn is left waiting for data it would take from
    // the next client's request.
    std::atomic<int>* Transfers = nullptr;
    // This PC's network, for the Wi-Fi check (not used with --simulate); the system's when
    // empty.
    std::function<std::unique_ptr<IHostNetworkSource>()> MakeNetwork;
    // How long to let a device go down after a restart was sent before asking whether it is
    // back, and how long it may take to come back at most.
    int RestartGraceMs = 1000;
    int RestartLimitMs = 60000;
    // Where the program remembers what it wrote to each device since the device last restarted
    // (see TPendingStore); empty: nothing is remembered.
    std::string StateDir;
};

// The state folder of the user: $XDG_STATE_HOME/kstbell, else ~/.local/state/kstbell (on
// Windows %LOCALAPPDATA%\kstbell); empty when none is known.
std::string UserStateDir();

// Runs one command line; returns the exit code.
int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
        const TRunEnv& env);

}  // namespace kstbell::cli
