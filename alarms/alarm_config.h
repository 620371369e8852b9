#pragma once

// The alarms of the site file (TOML, parsed by toml++):
//
//   [alarms.evacuation]             the name: 1 to 32 lower-case letters, digits, _ and -
//   label = "Evacuation"            for people; default the name
//   group = "all"                   the horns it sounds; default all
//   priority = 200                  101..1000 (bells ring at 0, manual rings at 50)
//   tone = 3                        0..3, for the steps that name none; default 0
//   repeat = 60                     how often the steps run, then it ends; default 1
//   steps = [ { on_ms = 1000, off_ms = 500 }, { on_ms = 3000, off_ms = 0, tone = 2 } ]
//                                   on_ms > 0 and off_ms >= 0 required, tone optional
//
// The steps times repeat last at most one hour. Every key is checked and unknown ones are
// refused; the service checks that the groups exist (CheckAlarmGroups).

#include <toml++/toml.h>

#include <functional>
#include <string>
#include <vector>

#include "alarms/alarm.h"
#include "config/error.h"

namespace kstbell::alarms {

// Reads the [alarms.NAME] tables of root, the parsed file at path, in the file's order. Each
// mistake is appended to errors (key "alarms.N.K"), in line order; true when there was none.
// alarms is set only then. The second form appends the mistakes as text,
// "FILE:LINE: key 'alarms.N.K': reason".
bool ReadAlarms(const toml::table& root, const std::string& path, std::vector<TAlarm>& alarms,
                std::vector<config::TError>& errors);
bool ReadAlarms(const toml::table& root, const std::string& path, std::vector<TAlarm>& alarms,
                std::vector<std::string>& errors);

// Appends a mistake, in line order, for every alarm whose group `exists` does not know.
void CheckAlarmGroups(const toml::table& root, const std::string& path,
                      const std::function<bool(const std::string&)>& exists,
                      std::vector<config::TError>& errors);
void CheckAlarmGroups(const toml::table& root, const std::string& path,
                      const std::function<bool(const std::string&)>& exists,
                      std::vector<std::string>& errors);

}  // namespace kstbell::alarms
