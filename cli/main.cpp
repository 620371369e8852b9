// kstbellctl: the command-line tool for the horns.

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>

#include "cli/run.h"

namespace {

std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// The first interrupt asks the program to stop (watch ends, waits give up, no device is
// started); a second one ends it at once.
extern "C" void OnStopSignal(int signal) {
    if (gStop.exchange(true)) _exit(128 + signal);
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    kstbell::cli::TRunEnv env;
    env.In = &std::cin;
    env.InputIsTerminal = isatty(STDIN_FILENO) == 1;
    env.ErrIsTerminal = isatty(STDERR_FILENO) == 1;
    env.Stop = &gStop;
    return kstbell::cli::Run(argc, argv, std::cout, std::cerr, env);
}
