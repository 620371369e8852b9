#pragma once

// Where the bridge's lines go: standard error as "kstbell-bridge: LINE", one line at a time,
// from any thread.

#include "text/stderr_log.h"

namespace kstbell::mqtt {

using text::TLog;

TLog StderrLog();

}  // namespace kstbell::mqtt
