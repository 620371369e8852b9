#pragma once

// Readiness of many sockets at once, and a wake-up that other threads can send: the one wait
// of the simulator's event loop. Declared without platform headers; event_poller_epoll.cpp
// implements it with epoll on Linux (a WSAPoll file with the same declarations would serve a
// Windows build). All calls but Wake belong to the thread that waits.

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/unique_fd.h"

namespace kstbell::sim {

enum EInterest : unsigned {
    InterestNone = 0,
    InterestRead = 1,
    InterestWrite = 2,
};

struct TPollEvent {
    std::uint64_t Token = 0;
    // Readable also stands for an error or hang-up: the next receive tells which.
    bool Readable = false;
    bool Writable = false;
};

class TEventPoller {
  public:
    TEventPoller();  // throws std::runtime_error when the system refuses
    ~TEventPoller();
    TEventPoller(const TEventPoller&) = delete;
    TEventPoller& operator=(const TEventPoller&) = delete;

    // Watches fd for interest and reports it with token; InterestNone stops watching it
    // (errors included) until it is set again. Forget before closing a watched descriptor.
    void Set(TSocket fd, std::uint64_t token, unsigned interest);
    void Forget(TSocket fd);
    // Waits up to timeoutMs (negative: without limit) and fills events with what is ready;
    // returns early, with nothing, when woken.
    void Wait(int timeoutMs, std::vector<TPollEvent>& events);
    // Ends the current or the next Wait early. Safe from any thread.
    void Wake();

  private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

}  // namespace kstbell::sim
