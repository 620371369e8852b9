#pragma once

// What the command lines of kstbell-sim, kstbell-bridge and kstbelld share, on CLI11: -h/--help
// made from the parser with an EXIT STATUS section after the options, --version, the option for
// the configuration file, and usage mistakes told on standard error as "PROGRAM: what is wrong"
// with exit status 2. It lives in the lowest layer the three programs all reach.

#include <CLI/CLI.hpp>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kstbell::sim {

inline constexpr int kExitUsage = 2;

// One exit status of a program and when it is given.
struct TExitStatus {
    int Code = 0;
    std::string Meaning;
};

// The EXIT STATUS section of --help: a heading and one line per code, wrapped.
std::string ExitStatusText(const std::vector<TExitStatus>& codes);

// Sets app up as a program's parser (before any option is added): -h/--help, --version printing
// "PROGRAM VERSION", the EXIT STATUS footer, and an option given twice taking its last value.
void SetUpProgram(CLI::App& app, const std::string& program, const std::vector<TExitStatus>& codes);

// --config FILE, into path.
CLI::Option* AddConfigOption(CLI::App& app, std::string& path, const std::string& help);

// A usage mistake that the parser cannot see: a value out of its range, options that exclude
// each other. Thrown by an option's conversion or by the check after the parse.
class TUsageMistake : public CLI::ParseError {
  public:
    explicit TUsageMistake(const std::string& what);
};

// Parses args, the words after the program's name, into the options of app, then runs check
// (which may throw TUsageMistake). Throws CLI::ParseError for a usage mistake, and for --help
// and --version (exit code 0), as ParseProgramLine tells them.
void ParseArguments(CLI::App& app, const std::vector<std::string>& args,
                    const std::function<void()>& check = {});

// ParseArguments, then: nothing when the program is to go on; else its exit status: 0 after --help
// or --version (printed on out), 2 after a usage mistake (told on err). An unknown option or
// word is told as "unknown option WORD", an option without its value as "OPTION needs a value".
std::optional<int> ParseProgramLine(CLI::App& app, const std::vector<std::string>& args,
                                    std::ostream& out, std::ostream& err,
                                    const std::function<void()>& check = {});

// The text of a usage mistake, as ParseProgramLine tells it without the program's name.
std::string UsageMistakeText(const CLI::Error& error);

}  // namespace kstbell::sim
