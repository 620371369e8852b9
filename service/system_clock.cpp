#include "service/system_clock.h"

namespace kstbell::service {

site::TInstant TSystemClock::Now() {
    return std::chrono::system_clock::now();
}

bool TSystemClock::WaitUntil(site::TInstant until) {
    std::unique_lock lock(m_);
    return !wake_.wait_until(lock, until, [this] { return stopping_; });
}

void TSystemClock::Stop() {
    {
        const std::lock_guard lock(m_);
        stopping_ = true;
    }
    wake_.notify_all();
}

}  // namespace kstbell::service
