#pragma once

// Where the service's lines for people go: one line per event, from any thread. Under systemd,
// standard error goes to the journal, which adds the time.

#include "text/stderr_log.h"

namespace kstbell::service {

using text::TLog;

// Lines to standard error as "kstbelld: LINE", whole even when threads write at once.
TLog StderrLog();

}  // namespace kstbell::service
