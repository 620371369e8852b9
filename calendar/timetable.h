#pragma once

// The timetable alone, as people edit it: the day plans with their bells, the week and the
// holidays; what the service keeps in its database when the site file has no [schedule], and
// what it shows and takes through its API. The exceptions are kept apart (the site file's, and
// those added while the service runs).

#include <array>
#include <map>
#include <string>
#include <vector>

#include "calendar/schedule.h"

namespace kstbell::calendar {

struct TTimetable {
    std::map<std::string, TDayPlan> Plans;
    std::array<std::string, 7> Week;  // Monday first; empty: no bells that day
    std::vector<THoliday> Holidays;

    bool operator==(const TTimetable&) const = default;
};

// monday ... sunday, as the site file and the API name them.
inline constexpr std::array<const char*, 7> kWeekdayNames = {
    "monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"};

// The schedule's timetable (its exceptions left out), and a schedule of a timetable alone.
TTimetable TimetableOf(const TSchedule& schedule);
TSchedule ScheduleOf(const TTimetable& timetable);

// The timetable as the site file's [schedule] tables (TOML), which ReadTimetable reads back
// to the same timetable: [schedule.week], [schedule.day_plans.NAME] with its bells in time
// order, [[schedule.holidays.dates]].
std::string TimetableToml(const TTimetable& timetable);

// "HH:MM", or "HH:MM:SS" when the seconds are not 0.
std::string ShortTimeOfDay(std::chrono::seconds sinceMidnight);

}  // namespace kstbell::calendar
