#pragma once

// The site of `kstbelld --simulate N` when no file is given: the simulated horns in two groups,
// a bell at the start of every minute, and alarms, one of them started by the first horn's
// input.

#include <cstddef>
#include <string>
#include <vector>

namespace kstbell::service {

inline constexpr const char* kDemoConfigName = "(demo site)";

// The site file's text for horns at these addresses.
std::string DemoConfig(const std::vector<std::string>& addresses);

}  // namespace kstbell::service
