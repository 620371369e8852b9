#pragma once

// Holidays from an iCalendar file (.ics), read with libical. Every all-day event is a day or
// days without bells: DTEND (exclusive) or DURATION give its length, recurring events (RRULE,
// RDATE, less EXDATE and the dates that a RECURRENCE-ID event moved) count every occurrence
// up to the end of kLastHolidayYear (the file says so when one goes on after it: the calendar
// then gives no bells after that year). Timed events are not holidays and are left out;
// cancelled events too.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "calendar/schedule.h"

namespace kstbell::calendar {

inline constexpr int kLastHolidayYear = 2100;

struct THolidayFile {
    std::vector<THoliday> Holidays;  // one per occurrence, in the file's order
    std::size_t TimedEventsLeftOut = 0;
    bool RecursPastLastYear = false;  // a recurring event goes on after kLastHolidayYear
};

// The text of an .ics file. False with what is wrong (naming the event) when it is not an
// iCalendar, libical reports a property it could not read, an event has no start or an
// impossible date, lasts more than a year, or recurs more often than the calendar can hold.
bool ParseHolidays(std::string_view text, THolidayFile& out, std::string& error);

// The same from a file (at most 8 MiB): the error then begins with the path.
bool ReadHolidays(const std::string& path, THolidayFile& out, std::string& error);

}  // namespace kstbell::calendar
