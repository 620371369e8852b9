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
std::atomic<int> gTransfers{0};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

constexpr char kFinishing[] =
    "kstbellctl: a transfer is under way: it is finished first (a horn would take the next "
    "request as its data)\n";
constexpr char kStoppedAtOnce[] = "kstbellctl: interrupted again: stopped at once\n";

// The first interrupt asks the program to stop (no device is started, watch ends, waits give
// up, a device's work stops before its next step) and report what was done; a second one ends it
// at once, unless a transfer is under way, which is finished first.
#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD) {
    if (gStop.exchange(true)) {
        if (gTransfers.load() > 0) {
            std::fputs(kFinishing, stderr);
            return TRUE;
        }
        std::fputs(kStoppedAtOnce, stderr);
        std::_Exit(130);
    }
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
    if (!gStop.exchange(true)) return;
    if (gTransfers.load() > 0) {
        [[maybe_unused]] const auto n = ::write(2, kFinishing, sizeof kFinishing - 1);
        return;
    }
    [[maybe_unused]] const auto n = ::write(2, kStoppedAtOnce, sizeof kStoppedAtOnce - 1);
    _exit(128 + signal);
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
    env.Transfers = &gTransfers;
    env.StateDir = kstbell::cli::UserStateDir();
    return kstbell::cli::Run(argc, argv, std::cout, std::cerr, env);
}
