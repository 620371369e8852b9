#pragma once

// Rings the calendar's bells. It keeps the last instant it dealt with in the service's state, so
// that after a restart or any pause (a suspended machine, a clock set forward) the bells in
// between are sorted: those at most the late tolerance old ring now, older ones are recorded
// missed and never rung. A clock set back rings nothing twice (the calendar gives nothing before
// the last instant dealt with). A bell's ring is recorded shortly before its instant, so that
// its horns switch at the instant rather than after the record is flushed.
//
// A timetable changed while the service runs counts from the change on: of the bells whose
// instant passed since the last step, only those that both the timetable before the change and
// the new one hold may ring late (or count as missed); one a change removed does not ring, and
// one a change added after its instant does not ring at once.
//
// Time comes from a clock that a test replaces, so a day of bells runs without waiting.

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "calendar/calendar.h"
#include "service/log_sink.h"
#include "site/horn.h"
#include "store/service_state.h"

namespace kstbell::service {

class ISchedulerClock {
  public:
    virtual ~ISchedulerClock() = default;
    virtual site::TInstant Now() = 0;
    // Waits until then; false when the scheduler is to stop.
    virtual bool WaitUntil(site::TInstant until) = 0;
};

// What the scheduler has done with its bells.
class IBellRinger {
  public:
    virtual ~IBellRinger() = default;
    // Shortly before their instant: records the rings of these bells ahead.
    virtual void Prepare(const std::vector<calendar::TScheduledBell>& bells) = 0;
    // Rings them now (late: after their instant, within the tolerance), with the records made
    // ahead if there are any.
    virtual void Ring(const std::vector<calendar::TScheduledBell>& bells, bool late) = 0;
    // The records made ahead will not be rung.
    virtual void Withdraw() = 0;
    // A bell that was not rung at its instant and is too late to ring now.
    virtual void Missed(const calendar::TScheduledBell& bell) = 0;
};

inline constexpr const char* kLastHandledKey = "scheduler.last_handled";

class TScheduler {
  public:
    // How long before a bell its ring is recorded.
    static constexpr auto kLead = std::chrono::milliseconds(200);
    // The longest single wait: the time is looked at again at least this often.
    static constexpr auto kLongestWait = std::chrono::minutes(5);

    // The calendar as it is at each step: one that changes (exceptions added while the service
    // runs) is asked again before every wait ends in a ring.
    using TCalendarSource = std::function<std::shared_ptr<const calendar::TCalendar>()>;

    TScheduler(const calendar::TCalendar& calendar, std::chrono::seconds lateTolerance,
               store::TServiceState& state, IBellRinger& ringer, ISchedulerClock& clock, TLog log);
    TScheduler(TCalendarSource calendar, std::chrono::seconds lateTolerance,
               store::TServiceState& state, IBellRinger& ringer, ISchedulerClock& clock, TLog log);

    // Runs until the clock says stop.
    void Run();

  private:
    std::chrono::sys_seconds LastHandled();
    void Handled(std::chrono::sys_seconds at);
    void CatchUp(site::TInstant now);
    // The bells of the next instant after the last handled one.
    std::vector<calendar::TScheduledBell> NextBells(const calendar::TCalendar& calendar) const;

    TCalendarSource calendar_;
    // The calendar of the last step: what the timetable was while the scheduler waited.
    std::shared_ptr<const calendar::TCalendar> held_;
    std::chrono::seconds tolerance_;
    store::TServiceState& state_;
    IBellRinger& ringer_;
    ISchedulerClock& clock_;
    TLog log_;
    std::chrono::sys_seconds lastHandled_{};
};

}  // namespace kstbell::service
