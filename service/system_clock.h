#pragma once

// The scheduler's clock in the running service: the system's wall clock, and waits that end at
// that clock's time (also when the clock is set) or when the service stops.

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "service/scheduler.h"

namespace kstbell::service {

class TSystemClock final : public ISchedulerClock {
  public:
    site::TInstant Now() override;
    bool WaitUntil(site::TInstant until) override;
    // Every wait ends, now and later, with false.
    void Stop();
    // The waits under way end now, with true (the calendar changed: look again).
    void Wake();

  private:
    std::mutex m_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::uint64_t wakes_ = 0;
};

}  // namespace kstbell::service
