#pragma once

// kstbell-sim's options.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/sim_types.h"

namespace kstbell::sim {

inline constexpr int kSimExitFailed = 1;  // the horns could not start, or stopped on a fault

struct TCommandLine {
    TSimOptions Options;  // with the per-request log on unless --quiet
    std::size_t Count = 1;
    bool CountGiven = false;
    std::size_t MacOffset = 0;
    std::optional<std::uint8_t> Input;
};

inline constexpr std::size_t kMaxSimHorns = 100000;

// Parses args, the words after the program's name, into line. Nothing when the simulator is to
// run; else the exit status after --help or --version (0, printed on out) or a usage mistake
// (2, told on err).
std::optional<int> ParseCommandLine(const std::vector<std::string>& args, TCommandLine& line,
                                    std::ostream& out, std::ostream& err);

}  // namespace kstbell::sim
