#include "service/command_line.h"

#include <algorithm>
#include <charconv>

#include "sim/program_options.h"
#include "web/http_config.h"

namespace kstbell::service {

namespace {

using sim::TUsageMistake;

const char* const kServiceDescription =
    "kstbelld: the site service for the alarm horns: bells on a calendar, rings that always\n"
    "end, alarms, an audit log, the MQTT front and the HTTP front. kstbelld user|token ...\n"
    "changes who may use the fronts (kstbelld user --help).";

const std::vector<sim::TExitStatus> kServiceExitCodes = {
    {0,
     "stopped by SIGTERM or SIGINT; --check-config and --next that succeed; --help, "
     "--version; a user or token command done"},
    {kServiceFailed,
     "another kstbelld holds the state folder (its pid is named) or it cannot be locked, the "
     "database cannot be used (also a bus error on its shared-memory file), the simulated horns "
     "cannot start; a user or token command not done (no such user or token, a name taken, no "
     "password, the last enabled admin kept)"},
    {kBadConfiguration,
     "a mistake in the options or the site file, no state folder, a password file that cannot "
     "be read, a front that cannot start (the HTTP front's address taken, its TLS files "
     "unreadable); a user or token command with a mistake in its command line, a name, role or "
     "password"},
};

const std::vector<sim::TExitStatus> kTimetableCommandExitCodes = {
    {kTimetableCommandOk, "done"},
    {kTimetableCommandFailed,
     "not done: the database cannot be opened or written, the site file holds the timetable, "
     "another revision was saved meanwhile"},
    {kTimetableCommandUsage,
     "a mistake in the command line, in FILE (each one told) or in the site file"},
};

const std::vector<sim::TExitStatus> kUserCommandExitCodes = {
    {users::kUserCommandOk, "done"},
    {users::kUserCommandFailed,
     "not done: no such user or token, a name taken, no password, the last enabled admin kept, "
     "a database that cannot be opened or written"},
    {users::kUserCommandUsage, "a mistake in the command line, a name, role or password"},
};

// A count from 1 to most, as the option's value.
std::size_t ServiceCount(const std::string& option, const std::string& value, std::size_t most) {
    std::size_t n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size() || n == 0 || n > most)
        throw TUsageMistake(option + " needs a count from 1 to " + std::to_string(most));
    return n;
}

struct TServiceLineOptions {
    CLI::Option* Config = nullptr;
    CLI::Option* StateDir = nullptr;
    CLI::Option* Simulate = nullptr;
    CLI::Option* Http = nullptr;
    CLI::Option* CheckConfig = nullptr;
    CLI::Option* Next = nullptr;
};

TServiceLineOptions AddServiceOptions(CLI::App& app, TCommandLine& line) {
    TServiceLineOptions o;
    o.Config = sim::AddConfigOption(app, line.ConfigPath,
                                    "the site file (default /etc/kstbell/site.toml; with "
                                    "--simulate and no --config: a demo site)");
    o.StateDir = app.add_option("--state-dir", line.StateDir,
                                "the database's folder (default $STATE_DIRECTORY, else "
                                "$XDG_STATE_HOME/kstbell or ~/.local/state/kstbell)")
                     ->type_name("DIR");
    o.Simulate =
        app.add_option_function<std::string>(
               "--simulate",
               [&line](const std::string& v) {
                   line.Simulate = ServiceCount("--simulate", v, kMaxSimulated);
               },
               "N simulated horns on 127.0.78.1 and up, in this process, in place of the file's "
               "devices; the HTTP front on 127.0.0.1:8786 (unless --http or the file's [http] "
               "says otherwise) and a demo account, both printed")
            ->type_name("N");
    o.Http = app.add_option_function<std::string>(
                    "--http",
                    [&line](const std::string& v) {
                        std::string why;
                        if (!web::ParseListen(v, why))
                            throw TUsageMistake("--http " + v + ": " + why);
                        line.Http = v;
                    },
                    "run the HTTP front there (port 0: any free one), whatever the file's [http] "
                    "listen says")
                 ->type_name("ADDRESS:PORT");
    o.CheckConfig = app.add_flag("--check-config", line.CheckConfig,
                                 "check the site file, print what it holds, exit 0 (or 2)");
    o.Next =
        app.add_option_function<std::string>(
               "--next",
               [&line](const std::string& v) { line.Next = ServiceCount("--next", v, kMaxNext); },
               "print the next N bells (local time and UTC) and exit")
            ->type_name("N");
    return o;
}

// The user and token commands, with --state-dir taken anywhere after their first word, and
// their own exit codes in their help.
void AddServiceUserCommands(CLI::App& app, TCommandLine& line, users::TUserCommandLine& user) {
    users::AddUserCommands(app, user);
    for (const char* group : {"user", "token"}) {
        CLI::App* groupApp = app.get_subcommand(group);
        std::vector<CLI::App*> apps{groupApp};
        for (CLI::App* verb : groupApp->get_subcommands([](CLI::App*) { return true; }))
            apps.push_back(verb);
        for (CLI::App* a : apps) {
            a->add_option("--state-dir", line.StateDir, "the database's folder")->type_name("DIR");
            a->footer(sim::ExitStatusText(kUserCommandExitCodes));
        }
    }
}

// kstbelld timetable export|import, with --state-dir taken anywhere after its first word.
void AddServiceTimetableCommands(CLI::App& app, TCommandLine& line,
                                 TTimetableCommandLine& timetable) {
    AddTimetableCommands(app, timetable);
    CLI::App* group = app.get_subcommand("timetable");
    std::vector<CLI::App*> apps{group};
    for (CLI::App* verb : group->get_subcommands([](CLI::App*) { return true; }))
        apps.push_back(verb);
    for (CLI::App* a : apps) {
        a->add_option("--state-dir", line.StateDir, "the database's folder")->type_name("DIR");
        a->footer(sim::ExitStatusText(kTimetableCommandExitCodes));
    }
}

void CheckServiceLine(const TCommandLine& line, const TServiceLineOptions& o, bool userCommand,
                      bool timetableCommand) {
    for (CLI::Option* given : {o.Config, o.StateDir})
        if (given->count() > 0 && given->as<std::string>().empty())
            throw TUsageMistake(given->get_name() + " needs a value");
    if (timetableCommand) {
        for (CLI::Option* given : {o.Config, o.Simulate, o.Http, o.CheckConfig, o.Next})
            if (given->count() > 0)
                throw TUsageMistake(given->get_name() +
                                    " does not go with timetable: it takes --state-dir (and "
                                    "import its own --config after FILE)");
    }
    if (userCommand) {
        for (CLI::Option* given : {o.Config, o.Simulate, o.Http, o.CheckConfig, o.Next})
            if (given->count() > 0)
                throw TUsageMistake(given->get_name() +
                                    " does not go with user or token: they take --state-dir only");
    }
    if (line.CheckConfig && line.Next)
        throw TUsageMistake("--check-config and --next exclude each other");
}

bool NamesUserCommand(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& a) { return a == "user" || a == "token"; });
}

}  // namespace

std::optional<int> ParseCommandLine(const std::vector<std::string>& args, TCommandLine& line,
                                    std::ostream& out, std::ostream& err) {
    if (NamesUserCommand(args) && users::RefusePasswordOption(args, err))
        return users::kUserCommandUsage;
    TCommandLine parsed;
    users::TUserCommandLine user;
    CLI::App app(kServiceDescription, "kstbelld");
    sim::SetUpProgram(app, "kstbelld", kServiceExitCodes);
    const TServiceLineOptions options = AddServiceOptions(app, parsed);
    app.require_subcommand(0, 1);
    AddServiceUserCommands(app, parsed, user);
    TTimetableCommandLine timetable;
    AddServiceTimetableCommands(app, parsed, timetable);
    const auto check = [&] {
        CheckServiceLine(parsed, options, !user.Verb.empty(), !timetable.Verb.empty());
    };
    if (const auto exit = sim::ParseProgramLine(app, args, out, err, check)) return exit;
    if (!user.Verb.empty()) parsed.UserCommand = user;
    if (!timetable.Verb.empty()) parsed.TimetableCommand = timetable;
    line = std::move(parsed);
    return std::nullopt;
}

}  // namespace kstbell::service
