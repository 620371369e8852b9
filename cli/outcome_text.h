#pragma once

// A failed operation in the command line's words: the kind's name in JSON and a sentence.

#include <string>

#include <nlohmann/json.hpp>

#include "device/outcome.h"

namespace kstbell::cli {

// What went wrong, as one sentence without a final full stop.
std::string OutcomeMessage(const TOutcome& o);

// {"kind", "message"} and, where known, "status" (refused), "path" (the device file or image),
// "device_sum" and "image_sum" (verify_failed), "bytes_sent" and "bytes_total" (a broken data
// phase).
nlohmann::ordered_json ErrorJson(const TOutcome& o);
// The same with the message put after context and ": ".
nlohmann::ordered_json ErrorJson(const TOutcome& o, const std::string& context);

}  // namespace kstbell::cli
