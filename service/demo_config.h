#pragma once

// The site of `kstbelld --simulate N` when no file is given: a school. The simulated horns are
// named after rooms (a building of 50, then "Block 2 ..." and on), in the groups ground_floor,
// first_floor and outdoor; a school day's bells on weekdays (08:00 to 15:30, lessons of 45 min,
// breaks, lunch); and, so that a newcomer hears one at once, today's plan "demo": that school
// day with a demo bell a minute after the start. Two alarms, one started by the first horn's
// input.

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace kstbell::service {

inline constexpr const char* kDemoConfigName = "(demo site)";

// The site file's text for horns at these addresses, started now in the system's time zone
// (the demo site's own).
std::string DemoConfig(const std::vector<std::string>& addresses);

// The same, started at that wall-clock time of the site's zone.
std::string DemoConfig(const std::vector<std::string>& addresses, std::chrono::local_seconds start);

}  // namespace kstbell::service
