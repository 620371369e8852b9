#pragma once

// The names of the outcome kinds, as kstbellctl's JSON and the bridge's result topic give them.

#include "device/outcome.h"

namespace kstbell::cli {

// "ok" for Done; "unreachable", "no_reply", "refused", "not_located", "busy", "invalid_input",
// "verify_failed" or "socket_error" otherwise.
const char* OutcomeKindName(TOutcomeKind kind);

}  // namespace kstbell::cli
