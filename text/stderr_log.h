#pragma once

// Where a program's lines for people go: standard error, one line per event, from any thread.
// Under systemd, standard error goes to the journal, which adds the time.

#include <functional>
#include <string>

namespace kstbell::text {

using TLog = std::function<void(const std::string&)>;

// Lines to standard error as "PROGRAM: LINE", whole even when threads write at once (one lock
// for every such log of the process: they share the stream).
TLog StderrLog(std::string program);

}  // namespace kstbell::text
