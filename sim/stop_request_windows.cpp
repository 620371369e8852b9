#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <condition_variable>
#include <mutex>

#include "sim/stop_request.h"

namespace kstbell::sim {

namespace {

std::mutex stopMutex;
std::condition_variable stopWanted;
bool stopRequested = false;

BOOL WINAPI OnConsoleEvent(DWORD) {
    {
        std::lock_guard lock(stopMutex);
        stopRequested = true;
    }
    stopWanted.notify_all();
    return TRUE;
}

}  // namespace

void PrepareStopRequests() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void WaitForStopRequest() {
    std::unique_lock lock(stopMutex);
    stopWanted.wait(lock, [] { return stopRequested; });
}

}  // namespace kstbell::sim

#endif  // _WIN32
