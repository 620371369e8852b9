#include "service/system_clock.h"

namespace kstbell::service {

site::TInstant TSystemClock::Now() {
    return std::chrono::system_clock::now();
}

bool TSystemClock::WaitUntil(site::TInstant until) {
    std::unique_lock lock(m_);
    const std::uint64_t wakes = wakes_;
    wake_.wait_until(lock, until, [&] { return stopping_ || wakes_ != wakes; });
    return !stopping_;
}

void TSystemClock::Wake() {
    {
        const std::lock_guard lock(m_);
        ++wakes_;
    }
    wake_.notify_all();
}

void TSystemClock::Stop() {
    {
        const std::lock_guard lock(m_);
        stopping_ = true;
    }
    wake_.notify_all();
}

}  // namespace kstbell::service
