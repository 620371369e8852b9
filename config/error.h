#pragma once

// A mistake in a configuration file, with where it is: what every reader of the site file and
// the bridge's file reports, so that a person can go straight to the line.

#include <cstdint>
#include <string>
#include <vector>

namespace kstbell::config {

struct TError {
    std::string File;
    std::uint32_t Line = 0;  // 1-based
    std::string Key;         // the full key: "schedule.day_plans.school_day.bells[0].tone"
    std::string Reason;
};

// "FILE:LINE: key 'KEY': REASON".
std::string FormatError(const TError& error);

// In line order; mistakes on one line keep the order they were found in.
void SortByLine(std::vector<TError>& errors);

// Each formatted, in the order given.
std::vector<std::string> FormatErrors(const std::vector<TError>& errors);

}  // namespace kstbell::config
