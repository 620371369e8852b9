#pragma once

// The program's options; each overrides the configuration file.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "mqtt/config.h"

namespace kstbell::bridge {

struct TCommandLine {
    std::string ConfigPath;
    std::optional<std::string> Broker;
    std::optional<std::string> Base;
    std::vector<std::string> Devices;  // replace the file's list when given
    std::size_t Simulate = 0;          // bridge this many in-process simulated horns
    bool Help = false;
    bool Version = false;
};

inline constexpr std::size_t kMaxSimulated = 100000;

extern const char* const kUsage;

// False, with the reason, for an unknown option, a missing or bad value, or --simulate with -d.
bool ParseCommandLine(const std::vector<std::string>& args, TCommandLine& line, std::string& error);

// Puts the options over config.
void ApplyCommandLine(const TCommandLine& line, mqtt::TBridgeConfig& config);

}  // namespace kstbell::bridge
