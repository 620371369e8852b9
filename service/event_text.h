#pragma once

// Small pieces of the lines for people and of audit entries.

#include <chrono>
#include <string>

#include "service/service_config.h"
#include "service/store/utc_time.h"
#include "site/horn.h"

namespace kstbell::service {

// "10.0.1.20 (Gym)", or the address alone for a horn without a name.
std::string HornText(const TServiceConfig& config, std::size_t horn);
// "5 s", "1.5 s", "180 s".
std::string DurationText(site::TMillis duration);
// A text from a device or a file in a line: control characters as '?'.
std::string Printable(const std::string& text);
store::TUtcTime Utc(site::TInstant at);
// "2027-01-07T07:00:00.003Z".
std::string UtcText(site::TInstant at);

}  // namespace kstbell::service
