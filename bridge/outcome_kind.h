#pragma once

// The names of the outcome kinds on the result topic, the same as the command-line tool's.

#include "device/outcome.h"

namespace kstbell::bridge {

// "ok" for Done; "unreachable", "no_reply", "refused", "not_located", "busy", "invalid_input",
// "verify_failed" or "socket_error" otherwise.
const char* OutcomeKindName(TOutcomeKind kind);

}  // namespace kstbell::bridge
