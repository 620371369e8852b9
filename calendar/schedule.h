#pragma once

// What a site's timetable says, as plain data: the day plans, which plan each weekday runs,
// the dates that run another plan or none, and the holidays. TCalendar turns it into bells.

#include <array>
#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace kstbell::calendar {

// One bell of a day plan: when (local wall-clock time), which group of horns, how.
struct TBell {
    std::chrono::seconds Time{0};  // since local midnight, 0 to 23:59:59
    std::string Group;             // a group name; the service checks that it exists
    int Tone = 0;                  // 0 to 3
    int DurationS = 1;             // positive; the service clamps it to its longest ring
    std::string Label{};           // optional, for people: "First lesson"

    bool operator==(const TBell&) const = default;
};

struct TDayPlan {
    std::vector<TBell> Bells;  // in any order; the calendar rings them by time

    bool operator==(const TDayPlan&) const = default;
};

// Both ends included.
struct TDateRange {
    std::chrono::year_month_day First;
    std::chrono::year_month_day Last;

    bool operator==(const TDateRange&) const = default;
};

// A date or dates that run another plan, or no bells at all (Plan empty). Wins over holidays.
struct TException {
    TDateRange Dates;
    std::string Plan;
    std::string Name;  // optional, for people: "Staff training"
};

// Days without bells, from a holiday calendar.
struct THoliday {
    TDateRange Dates;
    std::string Name;

    bool operator==(const THoliday&) const = default;
};

struct TSchedule {
    std::map<std::string, TDayPlan> Plans;
    std::array<std::string, 7> Week;  // Monday first; an empty name: no bells that day
    std::vector<TException> Exceptions;
    std::vector<THoliday> Holidays;
    // The holiday file whose recurring event goes on after the last year that holidays are
    // counted to (kLastHolidayYear): the calendar gives no bells after that year. Empty: none.
    std::string HolidaysCutBy{};
};

}  // namespace kstbell::calendar
