// kstbellctl: the command-line tool for the horns.

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "cli/run.h"

namespace {

std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// The first interrupt asks the program to stop (watch ends, waits give up, no device is
// started); a second one ends it at once.
#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD) {
    if (gStop.exchange(true)) std::_Exit(130);
    return TRUE;
}

void CatchStopRequests() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}
#else
extern "C" void OnStopSignal(int signal) {
    if (gStop.exchange(true)) _exit(128 + signal);
}

void CatchStopRequests() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    CatchStopRequests();
    kstbell::cli::TRunEnv env;
    env.In = &std::cin;
    env.InputIsTerminal = IsTerminal(stdin);
    env.ErrIsTerminal = IsTerminal(stderr);
    env.Stop = &gStop;
    env.StateDir = kstbell::cli::UserStateDir();
    return kstbell::cli::Run(argc, argv, std::cout, std::cerr, env);
}
