#pragma once

// The calendar's part of the site file (TOML, parsed by toml++):
//
//   [site]                            only these two keys are read here; the service owns
//   time_zone = "Europe/Berlin"       the rest of [site]. Default: the system's zone.
//   late_tolerance_s = 60             0 to 3600
//
//   [schedule.week]                   monday ... sunday = a day plan; a day left out has no
//   monday = "school_day"             bells
//
//   [schedule.day_plans.school_day]   bells: time "HH:MM[:SS]" (or a TOML time), group, tone
//   bells = [ { time = "08:00", group = "all", tone = 1, duration_s = 5 } ]     0-3,
//                                     duration_s 1-86400; all four required; label (optional)
//                                     a text for people
//
//   [[schedule.exceptions]]           date, or from and to (inclusive), as "YYYY-MM-DD" or a
//   from = "2027-02-15"               TOML date; then plan = "..." or no_bells = true;
//   to = "2027-02-19"                 name (optional) for people. Exceptions may not overlap.
//   no_bells = true
//   name = "Winter break"
//
//   [schedule.holidays]               ics: a file or a list of files, relative to the
//   ics = "holidays.ics"              configuration file's folder
//
//   [[schedule.holidays.dates]]       holidays given here: name, first and last (inclusive;
//   name = "Spring break"             last left out: the one day first)
//   first = "2027-04-06"
//   last = "2027-04-09"
//
// Every key of [schedule] is checked and unknown ones are refused.

#include <toml++/toml.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "calendar/schedule.h"
#include "calendar/time_zone.h"
#include "calendar/timetable.h"
#include "config/error.h"

namespace kstbell::calendar {

// A group that a bell rings, and where: the service checks that the group exists.
struct TGroupUse {
    std::string Group;
    std::uint32_t Line = 0;
    std::string Key;
};

struct TCalendarConfig {
    TTimeZone Zone;  // the file's, else the system's
    std::chrono::seconds LateTolerance{60};
    TSchedule Schedule;                     // holidays already read from their files
    bool ScheduleGiven = false;             // the file has a [schedule] table
    std::vector<std::string> HolidayFiles;  // as opened
    std::size_t TimedEventsLeftOut = 0;     // in the holiday files: not holidays
    std::vector<TGroupUse> GroupUses;
};

// Reads the calendar's keys from root, the parsed file at path (relative .ics paths are
// taken from its folder), and the holiday files they name. Every mistake found is added to
// errors in line order; true when there was none. config is changed only on success.
bool ReadCalendarConfig(const toml::table& root, const std::string& path, TCalendarConfig& config,
                        std::vector<config::TError>& errors);

// Reads root's [schedule] as a timetable alone: the same keys and mistakes as the site file's,
// but exceptions (which the service keeps apart) are refused and [site] is not read. groups
// gets where each bell names its group, for CheckBellGroups. timetable is changed only on
// success.
bool ReadTimetable(const toml::table& root, const std::string& path, TTimetable& timetable,
                   std::vector<TGroupUse>& groups, std::vector<config::TError>& errors);

// Adds a mistake for every bell whose group `exists` does not know.
void CheckBellGroups(const std::vector<TGroupUse>& uses, const std::string& path,
                     const std::function<bool(const std::string&)>& exists,
                     std::vector<config::TError>& errors);
void CheckBellGroups(const TCalendarConfig& config, const std::string& path,
                     const std::function<bool(const std::string&)>& exists,
                     std::vector<config::TError>& errors);

}  // namespace kstbell::calendar
