#pragma once

#include "cli/run.h"
#include "device/session.h"

namespace kstbell::cli {

// After a restart was sent: gives the device env.RestartGraceMs to go down, then asks for its
// information every half second until it answers, env.RestartLimitMs at most from the start.
// Done when it answered (LastReport holds that reply); otherwise the last attempt's failure.
// elapsedMs receives the time waited.
TOutcome WaitUntilBack(TDeviceSession& s, const TRunEnv& env, long& elapsedMs);

}  // namespace kstbell::cli
