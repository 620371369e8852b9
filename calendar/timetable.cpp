#include "calendar/timetable.h"

#include <algorithm>
#include <cstdio>

#include "calendar/clock_text.h"

namespace kstbell::calendar {

namespace {

// A TOML basic string: quotes, backslashes and control characters escaped.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A key as TOML takes it: bare when it can be, else quoted.
std::string Key(const std::string& key) {
    const bool bare = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-';
    });
    return bare ? key : Quoted(key);
}

}  // namespace

TTimetable TimetableOf(const TSchedule& schedule) {
    return {schedule.Plans, schedule.Week, schedule.Holidays};
}

TSchedule ScheduleOf(const TTimetable& timetable) {
    TSchedule schedule;
    schedule.Plans = timetable.Plans;
    schedule.Week = timetable.Week;
    schedule.Holidays = timetable.Holidays;
    return schedule;
}

std::string ShortTimeOfDay(std::chrono::seconds sinceMidnight) {
    const std::string full = FormatTimeOfDay(sinceMidnight);
    return full.ends_with(":00") ? full.substr(0, 5) : full;
}

std::string TimetableToml(const TTimetable& timetable) {
    std::string out = "[schedule.week]\n";
    for (std::size_t d = 0; d < timetable.Week.size(); ++d) {
        if (!timetable.Week[d].empty())
            out += std::string(kWeekdayNames[d]) + " = " + Quoted(timetable.Week[d]) + "\n";
    }
    for (const auto& [name, plan] : timetable.Plans) {
        out += "\n[schedule.day_plans." + Key(name) + "]\n";
        std::vector<TBell> bells = plan.Bells;
        std::stable_sort(bells.begin(), bells.end(),
                         [](const TBell& a, const TBell& b) { return a.Time < b.Time; });
        if (bells.empty()) {
            out += "bells = []\n";
            continue;
        }
        out += "bells = [\n";
        for (const auto& bell : bells) {
            out += "  { time = " + Quoted(ShortTimeOfDay(bell.Time)) +
                   ", group = " + Quoted(bell.Group) + ", tone = " + std::to_string(bell.Tone) +
                   ", duration_s = " + std::to_string(bell.DurationS);
            if (!bell.Label.empty()) out += ", label = " + Quoted(bell.Label);
            out += " },\n";
        }
        out += "]\n";
    }
    for (const auto& holiday : timetable.Holidays) {
        out += "\n[[schedule.holidays.dates]]\nname = " + Quoted(holiday.Name) +
               "\nfirst = " + Quoted(FormatDate(holiday.Dates.First)) + "\n";
        if (holiday.Dates.Last != holiday.Dates.First)
            out += "last = " + Quoted(FormatDate(holiday.Dates.Last)) + "\n";
    }
    return out;
}

}  // namespace kstbell::calendar
