#pragma once

// When a horn's digital input starts its alarm. A press is the input reading on; with a
// debounce it must still read on, with no off reading between, once the debounce has passed.
// After the input started its alarm it starts it again only after it has read off and the
// hold-off has passed since that start, so a stuck contact sounds its alarm once. Readings
// come from polls and command answers; the caller tells the time. Pure: no clock, no threads.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "site/horn.h"

namespace kstbell::alarms {

struct TInputRule {
    std::string Alarm;
    std::chrono::milliseconds Debounce{0};  // 0: the first on reading starts it
    std::chrono::seconds HoldOff{300};
};

class TInputTriggers {
  public:
    // Per horn (index), the rule for its digital input, if any.
    explicit TInputTriggers(std::vector<std::optional<TInputRule>> perHorn);

    // A reading of the horn's input: the alarm to start now, if any.
    std::optional<std::string> Observed(std::size_t horn, bool input, site::TInstant now);
    // Alarms whose debounce has passed with the input still on (call at NextDeadline).
    std::vector<std::pair<std::size_t, std::string>> Due(site::TInstant now);
    std::optional<site::TInstant> NextDeadline() const;
    // The horn went offline: a press half seen is forgotten.
    void Lost(std::size_t horn);

  private:
    struct THorn {
        std::optional<TInputRule> Rule;
        std::optional<site::TInstant> PressedAt;  // a press waiting for its debounce
        std::optional<site::TInstant> StartedAt;  // the last start of its alarm
        bool ReadOffSinceStart = true;
    };

    // Starts the horn's alarm now.
    const std::string& Start(THorn& h, site::TInstant now);

    std::vector<THorn> horns_;
};

}  // namespace kstbell::alarms
