#pragma once

// Instants as people type them on the command line: "2027-01-07", "2027-01-07 08:00",
// "2027-01-07T08:00:30" (this computer's local time; a trailing Z: UTC), or a span before now:
// "30m", "2h", "7d", "90s".

#include <chrono>
#include <optional>
#include <string>

namespace kstbell::cli {

std::optional<std::chrono::sys_seconds> ParseInstant(const std::string& text,
                                                     std::chrono::sys_seconds now);

}  // namespace kstbell::cli
