#pragma once

// Times and dates as the API writes and reads them: instants in UTC with milliseconds
// ("2027-01-07T08:00:00.000Z"), read back with any offset; dates as "2027-01-07"; the site's
// wall clock as "2027-01-07T08:00:00"; a time of day as "08:00:00". The toolkit's readers and
// writers on the front's instants.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "text/iso_time.h"
#include "web/port_types.h"

namespace kstbell::web {

std::string InstantText(TInstant at);
inline std::string DateText(std::chrono::year_month_day date) {
    return text::FormatDate(date);
}
inline std::string LocalText(std::chrono::local_seconds local) {
    return text::FormatLocal(local, 'T');
}
inline std::string TimeOfDayText(std::chrono::seconds sinceMidnight) {
    return text::FormatTimeOfDay(sinceMidnight);
}

// RFC 3339 (text::ParseRfc3339): "2027-01-07T08:00:00Z", "2027-01-07T09:00:00.250+01:00", in
// 1900 to 2199. Nothing for anything else, or a date that does not exist.
std::optional<TInstant> ParseInstant(std::string_view text);
// "2027-01-07", a date that exists.
using text::ParseDate;

}  // namespace kstbell::web
