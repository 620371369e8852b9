#pragma once

// One operation on every device of a verb, reported the same way for each.

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/verb_context.h"

namespace kstbell::cli {

// Runs operation on every device; Done reports result (human: the address and human), anything
// else the failure. restarts: a device that did it restarts at once (what was written to it
// before is then in force).
void ForEachCommand(TVerbContext& c, const std::function<TOutcome(TDeviceSession&)>& operation,
                    const nlohmann::ordered_json& result, const std::string& human,
                    bool restarts = false);

}  // namespace kstbell::cli
