#pragma once

// kstbelld's options, and its user, token and timetable commands.

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "service/timetable_command.h"
#include "users/user_command.h"

namespace kstbell::service {

struct TCommandLine {
    std::string ConfigPath;  // empty: the default file, or the demo's with --simulate
    std::string StateDir;
    std::size_t Simulate = 0;  // run this many simulated horns in this process
    std::string Http;          // the HTTP front's address:port, over the file's; empty: the file's
    bool CheckConfig = false;
    std::size_t Next = 0;  // print the next N bells and end
    // kstbelld user ... / token ...: run that on the state folder's database instead.
    std::optional<users::TUserCommandLine> UserCommand;
    // kstbelld timetable export|import ...: on the state folder's database instead.
    std::optional<TTimetableCommandLine> TimetableCommand{};
};

inline constexpr std::size_t kMaxSimulated = 10000;
inline constexpr std::size_t kMaxNext = 1000;

inline constexpr int kServiceFailed = 1;
inline constexpr int kBadConfiguration = 2;

// Parses args, the words after the program's name, into line. Nothing when the service (or a
// user or token command) is to run; else the exit status after --help or --version (0, printed
// on out) or a usage mistake (2, told on err: an unknown option, a missing or bad value, options
// that exclude each other, a password on the command line).
std::optional<int> ParseCommandLine(const std::vector<std::string>& args, TCommandLine& line,
                                    std::ostream& out, std::ostream& err);

}  // namespace kstbell::service
