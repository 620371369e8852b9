#include "cli/command_line.h"
#include "kstbell_version.h"

#include <CLI/CLI.hpp>

#include <map>

#include "cli/exit_codes.h"
#include "cli/help_text.h"
#include "cli/verbs/verb_table.h"

namespace kstbell::cli {

namespace {

void AddGlobalOptions(CLI::App& app, TGlobalOptions& g) {
    app.add_option("-d,--device", g.Devices,
                   "a device address or an address range (A.B.C.D/N); repeatable")
        ->type_name("ADDR")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--devices", g.DeviceFile,
                   "a file of device addresses or ranges, one a line, # comments")
        ->type_name("FILE");
    app.add_option("--port", g.Port, "the devices' TCP port (default 13577)")
        ->type_name("N")
        ->check(CLI::Range(1, 65535));
    app.add_flag("--json", g.Json, "one JSON object per device and line");
    app.add_option("--parallel", g.Parallel,
                   "devices worked on at once (default 64; scan: 256, watch: 16)")
        ->type_name("N")
        ->check(CLI::Range(1, 4096));
    app.add_option("--timeout", g.TimeoutMs,
                   "how long a connection may take, in ms (default 3000); each reply may take "
                   "as long, at most 1000; with --service the answer too (default 15000)")
        ->type_name("MS")
        ->check(CLI::Range(1, 600000));
    app.add_flag("--check-wifi", g.CheckWifi,
                 "check that this PC is on each device's Wi-Fi network, also with -d/--devices");
    app.add_flag("-y,--yes", g.Yes, "change devices without asking");
    app.add_flag("--quiet", g.Quiet, "no headings, remarks, summaries or progress");
    app.add_flag("--simulate", g.Simulate,
                 "run against an in-process simulated horn at 127.0.77.1");
    app.add_option("--max-devices", g.MaxDevices,
                   "the most devices (addresses, repeats counted) a command may be about "
                   "(default 65536)")
        ->type_name("N")
        ->check(CLI::Range(1, 1 << 24));
    app.add_option("--sim-state", g.SimState,
                   "with --simulate: keep the simulated horn's files in this folder across runs")
        ->type_name("DIR");
#ifdef KSTBELL_SERVICE_CLIENT
    app.add_option("--service", g.Service,
                   "the site service's API (kstbelld's HTTP front): http[s]://HOST[:PORT][/PATH]; "
                   "for ring, stop-all, alarm, bells and log")
        ->type_name("URL");
    app.add_option("--token-file", g.TokenFile,
                   "with --service: the file whose first line is the API token")
        ->type_name("FILE");
    app.add_option("--service-ca", g.ServiceCa,
                   "with an https:// --service: the certificate (PEM) to trust for it instead "
                   "of the system's, e.g. its own self-signed one")
        ->type_name("FILE");
#endif
}

// A subcommand; the options of the whole program are also taken after it.
CLI::App* Subcommand(CLI::App& parent, const std::string& name, std::string_view help) {
    CLI::App* sub = parent.add_subcommand(name, std::string(help));
    sub->fallthrough();
    return sub;
}

// The subcommand of a verb: "status" on the program, "config apply" under the group "config",
// which is made when its first verb comes.
CLI::App* VerbApp(CLI::App& app, std::map<std::string, CLI::App*>& groups, std::string_view name) {
    const auto space = name.find(' ');
    if (space == std::string_view::npos) return Subcommand(app, std::string(name), {});
    const std::string group(name.substr(0, space));
    CLI::App*& parent = groups[group];
    if (!parent) {
        parent = Subcommand(app, group, GroupHelp(group));
        parent->require_subcommand(1);
    }
    return Subcommand(*parent, std::string(name.substr(space + 1)), {});
}

// The last subcommand chosen: the verb's own.
const CLI::App* ChosenApp(const CLI::App& app) {
    const CLI::App* level = &app;
    for (auto chosen = level->get_subcommands(); !chosen.empty(); chosen = level->get_subcommands())
        level = chosen.front();
    return level;
}

// The parser of BuildCommandLine; lazily, a verb's own arguments and options are declared only
// when its subcommand comes up in the command line, before its words are parsed: a run uses one
// verb, and declaring every verb's options was much of the program's work at start.
void BuildParser(CLI::App& app, TCommandLine& line, std::vector<CLI::App*>& verbApps, bool lazily) {
    if (line.Verbs.empty()) line.Verbs = MakeVerbs();
    app.require_subcommand(1);
    AddGlobalOptions(app, line.Global);
    std::map<std::string, CLI::App*> groups;
    verbApps.clear();
    for (const auto& verb : line.Verbs) {
        CLI::App* sub = VerbApp(app, groups, verb->Info().Name);
        sub->description(std::string(verb->Info().Help));
        if (lazily)
            sub->preparse_callback([&verb = *verb, sub](std::size_t) { verb.Declare(*sub); });
        else
            verb->Declare(*sub);
        verbApps.push_back(sub);
    }
}

}  // namespace

site::TDeviceLimit DeviceLimit(const TGlobalOptions& global) {
    return {global.MaxDevices, "--max-devices N raises the limit"};
}

void BuildCommandLine(CLI::App& app, TCommandLine& line, std::vector<CLI::App*>& verbApps) {
    BuildParser(app, line, verbApps, false);
}

bool ParseCommandLine(int argc, const char* const* argv, TCommandLine& line, std::ostream& out,
                      std::ostream& err, int& exitCode) {
    CLI::App app(kHelpDescription, "kstbellctl");
    std::vector<CLI::App*> verbApps;
    BuildParser(app, line, verbApps, true);
    app.set_version_flag("--version", std::string("kstbellctl ") + KSTBELL_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        // The program's help ends with the verbs' table, made only when it is shown.
        app.footer(HelpFooter(line.Verbs));
        exitCode = app.exit(e, out, err);
        return false;
    } catch (const CLI::ParseError& e) {
        exitCode = app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
        return false;
    }
    line.Global.PortGiven = app.count("--port") > 0;
    line.Global.ParallelGiven = app.count("--parallel") > 0;
    line.Global.TimeoutGiven = app.count("--timeout") > 0;
    const CLI::App* chosen = ChosenApp(app);
    for (std::size_t i = 0; i < verbApps.size(); ++i)
        if (verbApps[i] == chosen) line.Verb = line.Verbs[i].get();
    if (!line.Verb) {
        // require_subcommand sees to a verb; a group without its verb is refused there too.
        err << "kstbellctl: no verb given\n";
        exitCode = kExitUsage;
        return false;
    }
    return true;
}

}  // namespace kstbell::cli
