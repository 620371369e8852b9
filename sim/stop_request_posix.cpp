#include <pthread.h>

#include <csignal>

#include "sim/stop_request.h"

namespace kstbell::sim {

namespace {

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

void PrepareStopRequests() {
    // Blocked before any other thread exists, so that only the wait below receives them.
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void WaitForStopRequest() {
    const sigset_t signals = StopSignals();
    int received = 0;
    sigwait(&signals, &received);
}

}  // namespace kstbell::sim
