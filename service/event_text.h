#pragma once

// Small pieces of the lines for people and of audit entries.

#include <chrono>
#include <string>

#include "service/service_config.h"
#include "site/horn.h"
#include "site/ring_tally.h"
#include "store/utc_time.h"

namespace kstbell::service {

// "10.0.1.20 (Gym)", or the address alone for a horn without a name.
std::string HornText(const TServiceConfig& config, std::size_t horn);
// "5 s", "1.5 s", "180 s".
std::string DurationText(site::TMillis duration);
// A text from a device or a file in a line: control characters as '?'.
std::string Printable(const std::string& text);
// What became of one horn's switch-on: "switched on", "offline", "no reply", "not answered yet".
std::string SwitchWord(const site::THornSwitchOn& horn);
// A ring's switch-on: "18 of 20 horns switched on; 2 offline", "0 of 1 horn switched on; 1 no
// reply; 1 not answered yet" (the audit entry and the line say it alike).
std::string SwitchSummary(const site::TRingSwitches& switches);
store::TUtcTime Utc(site::TInstant at);
// "2027-01-07T07:00:00.003Z".
std::string UtcText(site::TInstant at);

}  // namespace kstbell::service
