#pragma once

// kstbelld's options.

#include <cstddef>
#include <string>
#include <vector>

namespace kstbell::service {

struct TCommandLine {
    std::string ConfigPath;  // empty: the default file, or the demo's with --simulate
    std::string StateDir;
    std::size_t Simulate = 0;  // run this many simulated horns in this process
    bool CheckConfig = false;
    std::size_t Next = 0;  // print the next N bells and end
    bool Help = false;
    bool Version = false;
};

inline constexpr std::size_t kMaxSimulated = 10000;
inline constexpr std::size_t kMaxNext = 1000;

extern const char* const kUsage;

// False, with the reason, for an unknown option, a missing or bad value, or options that
// exclude each other.
bool ParseCommandLine(const std::vector<std::string>& args, TCommandLine& line, std::string& error);

}  // namespace kstbell::service
