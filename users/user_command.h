#pragma once

// kstbelld's user and token commands, run on the service's database beside a running service
// (which sees each change at its next request):
//
//   user add NAME --role R [--password-file F]    user list
//   user remove NAME                              user role NAME R
//   user passwd NAME [--password-file F]          user disable NAME / user enable NAME
//   token create NAME --user U [--role R]         token list
//   token revoke ID
//
// A password is typed twice without echo, or read from the first line of a file that only
// its owner may read. A new token's secret is printed once, alone on its line of out; what
// goes with it goes to err. Changes are logged with the system account that ran the command.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace kstbell::users {

inline constexpr int kUserCommandOk = 0;
inline constexpr int kUserCommandFailed = 1;  // no such user or token, name taken, no password,
                                              // the last enabled admin kept, the database
                                              // cannot be opened or written
inline constexpr int kUserCommandUsage = 2;   // the command line, a name or role is not valid

// A command as parsed: its verb ("user add", "token list", ...) and its words.
struct TUserCommandLine {
    std::string Verb;  // empty: no user or token command was given
    std::string Name;
    std::string Role;
    std::string User;
    std::string PasswordFile;
    std::int64_t Id = 0;
};

// Adds the user and token commands to app (a program's parser, or one of their own), each
// verb a subcommand of its group; the chosen verb's words go into line.
void AddUserCommands(CLI::App& app, TUserCommandLine& line);

// True, told on err without repeating it, when args give a password on the command line: it
// would stay in the shell's history and the process list. The parser's own message would
// repeat it, so this comes before the parse.
bool RefusePasswordOption(const std::vector<std::string>& args, std::ostream& err);

// args: the words after the program's name, beginning with "user" or "token".
int RunUserCommand(const std::vector<std::string>& args, const std::filesystem::path& stateDir,
                   std::istream& in, std::ostream& out, std::ostream& err);

// A command already parsed (by AddUserCommands' subcommands).
int RunUserCommand(const TUserCommandLine& line, const std::filesystem::path& stateDir,
                   std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace kstbell::users
