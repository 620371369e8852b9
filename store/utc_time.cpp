#include "store/utc_time.h"

#include <cstdio>

namespace kstbell::store {

namespace chr = std::chrono;

std::int64_t ToUnixMs(TUtcTime time) {
    return time.time_since_epoch().count();
}

TUtcTime FromUnixMs(std::int64_t ms) {
    return TUtcTime(chr::milliseconds(ms));
}

std::string FormatUtc(TUtcTime time) {
    const auto day = chr::floor<chr::days>(time);
    const chr::year_month_day date(day);
    const chr::hh_mm_ss clock(time - day);
    char text[40];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

}  // namespace kstbell::store
