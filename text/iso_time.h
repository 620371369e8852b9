#pragma once

// Dates, wall-clock times and instants as the configuration, the API, the database and the
// command line write them: "2027-01-07", "08:00", "13:15:30", "2027-01-07 08:00:00",
// "2027-01-07T08:00:00Z", "2027-01-07T08:00:00.000Z", and RFC 3339 instants with any offset.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace kstbell::text {

// "YYYY-MM-DD", four, two and two digits, a date that exists.
std::optional<std::chrono::year_month_day> ParseDate(std::string_view text);

// "HH:MM" or "HH:MM:SS", two digits each, 00:00 to 23:59:59.
std::optional<std::chrono::seconds> ParseTimeOfDay(std::string_view text);

std::string FormatDate(std::chrono::year_month_day date);         // "YYYY-MM-DD"
std::string FormatTimeOfDay(std::chrono::seconds sinceMidnight);  // "HH:MM:SS"
// "YYYY-MM-DD HH:MM:SS", or with another character between the date and the time.
std::string FormatLocal(std::chrono::local_seconds local, char between = ' ');
std::string FormatUtc(std::chrono::sys_seconds at);  // "YYYY-MM-DDTHH:MM:SSZ"
std::string FormatUtcMillis(std::chrono::sys_time<std::chrono::milliseconds> at);  // ".mmmZ"

// The years an RFC 3339 instant may fall in (the system clock's range is 1677 to 2262).
inline constexpr std::chrono::year kFirstInstantYear{1900};
inline constexpr std::chrono::year kLastInstantYear{2199};

// RFC 3339: "2027-01-07T08:00:00Z", "2027-01-07T09:00:00.250+01:00" (a 't', 'z' or ' ' also
// read; a fraction of 1 to 9 digits, kept to the millisecond; a leap second read as the second
// before it), in kFirstInstantYear to kLastInstantYear. Nothing for anything else, or a date
// that does not exist.
std::optional<std::chrono::sys_time<std::chrono::milliseconds>> ParseRfc3339(std::string_view text);

}  // namespace kstbell::text
