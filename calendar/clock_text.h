#pragma once

// Dates and wall-clock times as people write them in the configuration and read them in the
// service's output: "2027-01-07", "08:00", "13:15:30".

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace kstbell::calendar {

// "HH:MM" or "HH:MM:SS", two digits each, 00:00 to 23:59:59.
std::optional<std::chrono::seconds> ParseTimeOfDay(std::string_view text);

// "YYYY-MM-DD", a date that exists.
std::optional<std::chrono::year_month_day> ParseDate(std::string_view text);

std::string FormatTimeOfDay(std::chrono::seconds sinceMidnight);  // "HH:MM:SS"
std::string FormatDate(std::chrono::year_month_day date);         // "YYYY-MM-DD"
std::string FormatLocal(std::chrono::local_seconds local);        // "YYYY-MM-DD HH:MM:SS"
std::string FormatUtc(std::chrono::sys_seconds at);               // "YYYY-MM-DDTHH:MM:SSZ"

}  // namespace kstbell::calendar
