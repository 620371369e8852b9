#pragma once

// Where the service's lines for people go: one line per event, from any thread. Under systemd,
// standard error goes to the journal, which adds the time.

#include <functional>
#include <string>

namespace kstbell::service {

using TLog = std::function<void(const std::string&)>;

// Lines to standard error as "kstbelld: LINE", whole even when threads write at once.
TLog StderrLog();

}  // namespace kstbell::service
