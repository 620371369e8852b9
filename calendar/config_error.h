#pragma once

// A mistake in the configuration file, with where it is: what every reader of the site file
// reports, so that a person can go straight to the line.

#include <cstdint>
#include <string>

namespace kstbell::calendar {

struct TConfigError {
    std::string File;
    std::uint32_t Line = 0;  // 1-based
    std::string Key;         // the full key: "schedule.day_plans.school_day.bells[0].tone"
    std::string Reason;
};

// "FILE:LINE: key 'KEY': REASON", the form the bridge reports its own mistakes in.
std::string FormatConfigError(const TConfigError& error);

}  // namespace kstbell::calendar
