#pragma once

// An alarm: a named pattern of on/off steps that a group of horns sounds, at a priority above
// any bell, started by a person, an automation or a horn's input. The ring it makes insists:
// a horn that reports its output off while a step sounds is told on again.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "site/horn.h"
#include "site/ring_book.h"

namespace kstbell::alarms {

struct TAlarm {
    std::string Name;           // lower-case letters, digits, _ and -: part of topics and URLs
    std::string Label;          // for people; default: Name
    std::string Group = "all";  // the horns it sounds (a group name)
    int Priority = 200;         // 101..1000
    std::uint8_t Tone = 0;      // for the steps that name none
    std::vector<site::TPatternStep> Steps;
    int Repeat = 1;  // how often the steps run; then the alarm ends
};

// How long the alarm sounds from start to end: its steps, Repeat times.
site::TMillis AlarmLength(const TAlarm& alarm);

// The ring an alarm makes on these horns: its pattern, Repeat, Insist, its priority and tone,
// labelled with the alarm's name (what a stop by name looks for).
site::TRingOrder AlarmRing(const TAlarm& alarm, std::vector<std::size_t> horns, site::TCause cause,
                           std::string actor);

}  // namespace kstbell::alarms
