// kstbelld's command line: its help with the exit codes, its usage mistakes, its options and
// the user and token commands in the same parser.

#include <gtest/gtest.h>

#include <sstream>

#include "support/program_line_cases.h"

#include "kstbell_version.h"
#include "service/command_line.h"

namespace kstbell::service {
namespace {

TEST(ServiceCommandLineTest, HelpAndVersionEndAtOnceAndMistakesExitTwo) {
    const std::vector<line_test::TProgramLineCase> cases = {
        {{"--help"}, 0, "EXIT STATUS\n  0    stopped by SIGTERM or SIGINT", ""},
        {{"-h"}, 0, "\n  1    another kstbelld holds the state folder", ""},
        {{"--help"}, 0, "Subcommands:\n  user ", ""},
        {{"user", "--help"}, 0, "EXIT STATUS\n  0    done\n", ""},
        {{"token", "create", "--help"}, 0, "--state-dir DIR", ""},
        {{"--version"}, 0, std::string("kstbelld ") + KSTBELL_VERSION + "\n", ""},
        {{"--reload"}, 2, "", "kstbelld: unknown option --reload\n"},
        {{"--next"}, 2, "", "kstbelld: --next needs a value"},
        {{"--config", ""}, 2, "", "--config needs a value"},
        {{"--state-dir", ""}, 2, "", "--state-dir needs a value"},
        {{"--next", "0"}, 2, "", "--next needs a count from 1 to 1000"},
        {{"--simulate", "10001"}, 2, "", "--simulate needs a count from 1 to 10000"},
        {{"--http", "localhost:80"}, 2, "", "--http localhost:80: 'localhost' is"},
        {{"--check-config", "--next", "2"}, 2, "", "--check-config and --next exclude each other"},
        {{"--simulate", "3", "user", "list"}, 2, "", "--simulate does not go with user or token"},
        {{"user", "list", "--simulate", "3"}, 2, "", "unknown option --simulate"},
        {{"user"}, 2, "", "subcommand is required"},
        {{"token", "create", "ci"}, 2, "", "--user is required"},
        {{"user", "add", "bob", "--role", "boss"}, 2, "", "boss"},
        {{"user", "add", "bob", "--role", "admin", "--password", "hunter2-x"},
         2,
         "",
         "a password is never given on the command line"},
    };
    line_test::ExpectProgramLines(cases, [](const auto& args, auto& out, auto& err) {
        TCommandLine line;
        const auto exit = ParseCommandLine(args, line, out, err);
        EXPECT_EQ(err.str().find("hunter2"), std::string::npos) << "a password is not repeated";
        return exit;
    });
}

TEST(ServiceCommandLineTest, TheOptionsAndTheUserCommandsAreTaken) {
    struct TCase {
        std::vector<std::string> Args;
        TCommandLine Expected;
    };
    const auto user = [](std::string verb, std::string name, std::string role, std::int64_t id) {
        users::TUserCommandLine u;
        u.Verb = std::move(verb);
        u.Name = std::move(name);
        u.Role = std::move(role);
        u.Id = id;
        return u;
    };
    const TCase cases[] = {
        {{}, {}},
        {{"--config", "/etc/site.toml", "--state-dir", "/var/lib/kstbell", "--simulate", "3",
          "--http", "127.0.0.1:0"},
         {"/etc/site.toml", "/var/lib/kstbell", 3, "127.0.0.1:0", false, 0, {}}},
        {{"--check-config", "--config", "a.toml", "--config", "b.toml"},
         {"b.toml", "", 0, "", true, 0, {}}},
        {{"--next", "1000", "--simulate", "10000"}, {"", "", 10000, "", false, 1000, {}}},
        {{"user", "add", "bob", "--role", "admin", "--state-dir", "/s"},
         {"", "/s", 0, "", false, 0, user("user add", "bob", "admin", 0)}},
        {{"user", "--state-dir", "/s", "role", "bob", "viewer"},
         {"", "/s", 0, "", false, 0, user("user role", "bob", "viewer", 0)}},
        {{"--state-dir", "/s", "token", "revoke", "3"},
         {"", "/s", 0, "", false, 0, user("token revoke", "", "", 3)}},
    };
    for (const auto& c : cases) {
        TCommandLine line;
        std::ostringstream out, err;
        ASSERT_FALSE(ParseCommandLine(c.Args, line, out, err).has_value()) << err.str();
        const TCommandLine& e = c.Expected;
        EXPECT_EQ(line.ConfigPath, e.ConfigPath);
        EXPECT_EQ(line.StateDir, e.StateDir);
        EXPECT_EQ(line.Simulate, e.Simulate);
        EXPECT_EQ(line.Http, e.Http);
        EXPECT_EQ(line.CheckConfig, e.CheckConfig);
        EXPECT_EQ(line.Next, e.Next);
        ASSERT_EQ(line.UserCommand.has_value(), e.UserCommand.has_value());
        if (e.UserCommand) {
            EXPECT_EQ(line.UserCommand->Verb, e.UserCommand->Verb);
            EXPECT_EQ(line.UserCommand->Name, e.UserCommand->Name);
            EXPECT_EQ(line.UserCommand->Role, e.UserCommand->Role);
            EXPECT_EQ(line.UserCommand->Id, e.UserCommand->Id);
        }
        EXPECT_EQ(out.str() + err.str(), "");
    }
}

}  // namespace
}  // namespace kstbell::service
