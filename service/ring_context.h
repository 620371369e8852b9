#pragma once

// What the service knows about the site call it is making: who asked, for which group, alarm or
// bell, and a ring record made ahead of time. The site calls the journal and the listener back
// on the calling thread, so they find it here; a scope sets it for the calls inside it.

#include <cstdint>
#include <string>

#include "site/horn.h"

namespace kstbell::service {

struct TRingContext {
    std::string Actor{};
    std::string Group{};         // the group a ring is for, if any
    std::string Alarm{};         // the alarm a ring belongs to, if any
    std::string Bell{};          // a scheduled bell: its plan and time, "school_day 08:00:00"
    site::TInstant Scheduled{};  // a scheduled bell: its instant
    bool Late = false;           // a scheduled bell rung after its instant, within the tolerance
    std::int64_t Prepared = 0;   // the ring's record, made ahead of time (its id in the store)
    bool EndedAll = false;       // the store has ended every running ring already
    std::string Reason{};        // why rings are stopped, when it is not a request: for the log
};

class TRingContextScope {
  public:
    explicit TRingContextScope(TRingContext context);
    ~TRingContextScope();
    TRingContextScope(const TRingContextScope&) = delete;
    TRingContextScope& operator=(const TRingContextScope&) = delete;

    // The innermost scope's context on this thread, or nothing.
    static const TRingContext* Current();

  private:
    TRingContext context_;
    const TRingContext* outer_;
};

}  // namespace kstbell::service
