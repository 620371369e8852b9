#pragma once

// Where the bridge's lines go: standard error, one line at a time, from any thread.

#include <functional>
#include <string>

namespace kstbell::mqtt {

using TLog = std::function<void(const std::string&)>;

TLog StderrLog();

}  // namespace kstbell::mqtt
