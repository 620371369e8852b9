#pragma once

// Dates and wall-clock times as people write them in the configuration and read them in the
// service's output: "2027-01-07", "08:00", "13:15:30", "2027-01-07 08:00:00" and
// "2027-01-07T08:00:00Z" (UTC). The toolkit's readers and writers, under the calendar's names.

#include "text/iso_time.h"

namespace kstbell::calendar {

using text::FormatDate;       // "YYYY-MM-DD"
using text::FormatLocal;      // "YYYY-MM-DD HH:MM:SS"
using text::FormatTimeOfDay;  // "HH:MM:SS"
using text::FormatUtc;        // "YYYY-MM-DDTHH:MM:SSZ"
using text::ParseDate;        // "YYYY-MM-DD", a date that exists
using text::ParseTimeOfDay;   // "HH:MM" or "HH:MM:SS", 00:00 to 23:59:59

}  // namespace kstbell::calendar
