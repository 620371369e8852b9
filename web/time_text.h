#pragma once

// Times and dates as the API writes and reads them: instants in UTC with milliseconds
// ("2027-01-07T08:00:00.000Z"), read back with any offset; dates as "2027-01-07"; the site's
// wall clock as "2027-01-07T08:00:00"; a time of day as "08:00:00".

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "web/port_types.h"

namespace kstbell::web {

std::string InstantText(TInstant at);
std::string DateText(std::chrono::year_month_day date);
std::string LocalText(std::chrono::local_seconds local);
std::string TimeOfDayText(std::chrono::seconds sinceMidnight);

// The years an instant may fall in (the system clock's range is 1677 to 2262).
inline constexpr std::chrono::year kFirstYear{1900};
inline constexpr std::chrono::year kLastYear{2199};

// RFC 3339: "2027-01-07T08:00:00Z", "2027-01-07T09:00:00.250+01:00" (a 't', 'z' or ' ' also
// read), in kFirstYear to kLastYear. Nothing for anything else, or a date that does not exist.
std::optional<TInstant> ParseInstant(std::string_view text);
// "2027-01-07", a date that exists.
std::optional<std::chrono::year_month_day> ParseDate(std::string_view text);

}  // namespace kstbell::web
