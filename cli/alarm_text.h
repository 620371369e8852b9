#pragma once

// An alarm of the site service's answers as a line for people.

#include <string>

#include <nlohmann/json.hpp>

namespace kstbell::cli {

// "evacuation (Evacuation), priority 200: sounding, ring 9 until 2027-01-07T08:05:00.000Z" or
// "...: quiet".
std::string AlarmLine(const nlohmann::ordered_json& alarm);

}  // namespace kstbell::cli
