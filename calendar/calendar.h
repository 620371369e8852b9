#pragma once

// The site's calendar: which bells ring when. Every query takes UTC instants and reads no
// clock, so a year runs through it in a test without waiting. Instants are whole seconds:
// callers floor the system clock (std::chrono::floor<std::chrono::seconds>).
//
// A day's plan: an exception for that date, else no bells on a holiday, else the week's plan
// for that weekday. Each bell of the plan rings at its local time on that date; a time that
// the clock skips rings at the first instant after the gap, a time that it shows twice rings
// once, the first time.

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "calendar/schedule.h"
#include "calendar/time_zone.h"

namespace kstbell::calendar {

enum class EDayRule { Week, Exception, Holiday };

struct TDayChoice {
    EDayRule Rule = EDayRule::Week;
    std::string Plan;  // empty: no bells
    std::string Name;  // the exception's or the holiday's name, if it has one
};

struct TScheduledBell {
    std::chrono::sys_seconds At;       // when it rings
    std::chrono::local_seconds Local;  // the site's wall clock then
    std::chrono::year_month_day Date;  // the day whose plan holds it
    std::string Plan;
    EDayRule Rule = EDayRule::Week;  // Week or Exception
    TBell Bell;
    bool Moved = false;  // its time did not exist that day (clock change)
};

// Bells in (last handled, now]: those to ring now and those too late to ring at all.
struct TDueBells {
    std::vector<TScheduledBell> Due;
    std::vector<TScheduledBell> Missed;
};

class TCalendar {
  public:
    // Throws std::invalid_argument when the week or an exception names a plan it lacks.
    TCalendar(TTimeZone zone, TSchedule schedule);

    const TTimeZone& Zone() const { return zone_; }
    const TSchedule& Schedule() const { return schedule_; }

    TDayChoice DayChoice(std::chrono::year_month_day date) const;

    // The bells that ring in [from, to), in time order (a day plan's order among equals).
    // Nothing at or after Until().
    std::vector<TScheduledBell> Bells(std::chrono::sys_seconds from,
                                      std::chrono::sys_seconds to) const;

    // The first `count` bells after `after`, looking at most kNextSearchDays ahead (fewer
    // when the schedule has fewer).
    std::vector<TScheduledBell> Next(std::chrono::sys_seconds after, std::size_t count) const;
    static constexpr std::chrono::days kNextSearchDays{2 * 366};

    // The first instant that the calendar knows no bells for: the zone's KnownUntil(), or the
    // start of the year after kLastHolidayYear when the schedule's holidays recur past it
    // (Schedule().HolidaysCutBy); the maximum when neither.
    std::chrono::sys_seconds Until() const { return until_; }

    // Why Next(after, ...) looks less far ahead than kNextSearchDays: Until() is nearer. A
    // sentence without its full stop; empty when Next looks that far.
    std::string NextLimit(std::chrono::sys_seconds after) const;

    // The bells in (lastHandled, now]: due when they are at most lateTolerance old, missed
    // (never rung late) when older. Nothing when now is not after lastHandled, so a clock
    // set back never rings a bell twice.
    TDueBells Classify(std::chrono::sys_seconds lastHandled, std::chrono::sys_seconds now,
                       std::chrono::seconds lateTolerance) const;

  private:
    void DayBells(std::chrono::sys_days day, std::vector<TScheduledBell>& into) const;

    struct THolidaySpan {
        std::chrono::sys_days First;
        std::chrono::sys_days Last;
        std::string Name;
    };

    TTimeZone zone_;
    TSchedule schedule_;
    std::chrono::sys_seconds until_;
    std::vector<THolidaySpan> holidays_;  // disjoint, by first day
};

}  // namespace kstbell::calendar
