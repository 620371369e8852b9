#pragma once

// What `kstbelld --next N` and `kstbelld --check-config` print.

#include <chrono>
#include <cstddef>
#include <string>

#include "service/service_config.h"

namespace kstbell::service {

// The next count bells after `after`, one line each: local time, UTC, plan, group, tone,
// duration (and whether an exception or a clock change is behind it).
std::string NextBellsText(const TServiceConfig& config, std::chrono::sys_seconds after,
                          std::size_t count);

// What the file holds, for a person checking it.
std::string ConfigSummary(const TServiceConfig& config, std::chrono::sys_seconds now);

}  // namespace kstbell::service
