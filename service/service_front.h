#pragma once

// A front of the service (MQTT, HTTP): it asks through site::ISiteControl and hears of
// everything through these calls, which the service's site listener hands on.

#include <string>
#include <vector>

#include "calendar/calendar.h"
#include "site/site.h"

namespace kstbell::service {

class IServiceFront {
  public:
    virtual ~IServiceFront() = default;
    // Starts in the background (connections are made and retried by the front). False, with
    // the reason, when it cannot be set up at all.
    virtual bool Start(std::string& error) = 0;
    // Tells its clients the service is going, and ends.
    virtual void Stop() = 0;
    // Called under the site's locks: only queue.
    virtual void OnHornEvents(const std::vector<site::THornEvent>& events) = 0;
    virtual void OnRingStarted(const site::TRingStart& start) = 0;
    virtual void OnRingEnded(const site::TRingEnd& end, site::TCause cause,
                             site::TInstant when) = 0;
    // A scheduled bell that did not ring, and why (from the scheduler's thread).
    virtual void OnBellMissed(const calendar::TScheduledBell& bell, const std::string& reason) {
        (void)bell;
        (void)reason;
    }
};

}  // namespace kstbell::service
