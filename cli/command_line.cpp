#include "cli/command_line.h"
#include "kstbell_version.h"

#include <CLI/CLI.hpp>

#include "cli/exit_codes.h"
#include "cli/help_text.h"
#ifdef KSTBELL_SITE_LOG
#include "service/store/audit_query.h"
#endif

namespace kstbell::cli {

namespace {

// Options of the whole program are also taken after the verb.
CLI::App* Verb(CLI::App& parent, const std::string& name, const std::string& description) {
    CLI::App* verb = parent.add_subcommand(name, description);
    verb->fallthrough();
    return verb;
}

void AddGlobalOptions(CLI::App& app, TCommandLine& l) {
    app.add_option("-d,--device", l.Devices,
                   "a device address or an address range (A.B.C.D/N); repeatable")
        ->type_name("ADDR")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--devices", l.DeviceFile,
                   "a file of device addresses or ranges, one a line, # comments")
        ->type_name("FILE");
    app.add_option("--port", l.Port, "the devices' TCP port (default 13577)")
        ->type_name("N")
        ->check(CLI::Range(1, 65535));
    app.add_flag("--json", l.Json, "one JSON object per device and line");
    app.add_option("--parallel", l.Parallel,
                   "devices worked on at once (default 64; scan: 256, watch: 16)")
        ->type_name("N")
        ->check(CLI::Range(1, 4096));
    app.add_option("--timeout", l.TimeoutMs,
                   "how long a connection may take, in ms (default 3000); each reply may take "
                   "as long, at most 1000")
        ->type_name("MS")
        ->check(CLI::Range(1, 600000));
    app.add_flag("--check-wifi", l.CheckWifi,
                 "check that this PC is on each device's Wi-Fi network, also with -d/--devices");
    app.add_flag("-y,--yes", l.Yes, "change devices without asking");
    app.add_flag("--quiet", l.Quiet, "no headings, remarks, summaries or progress");
    app.add_flag("--simulate", l.Simulate,
                 "run against an in-process simulated horn at 127.0.77.1");
    app.add_option("--sim-state", l.SimState,
                   "with --simulate: keep the simulated horn's files in this folder across runs")
        ->type_name("DIR");
}

void AddKeyFileOptions(CLI::App& verb, TCommandLine& l) {
    verb.add_option("--ap-key-file", l.ApKeyFile, "the access point's key, from this file")
        ->type_name("FILE");
    verb.add_option("--station-key-file", l.StationKeyFile, "the station's key, from this file")
        ->type_name("FILE");
}

void AddConfigVerbs(CLI::App& app, TCommandLine& l) {
    CLI::App* config = Verb(app, "config", "show, save, compare or apply a device's settings");
    config->require_subcommand(1);
    Verb(*config, "show", "print the settings and what the device reports, as a snapshot");
    CLI::App* save = Verb(*config, "save", "write the snapshot to FILE (JSON)");
    save->add_option("FILE", l.Args, "the snapshot file; {device} is replaced by the address")
        ->expected(1)
        ->type_name("FILE")
        ->required();
    AddKeyFileOptions(*save, l);
    CLI::App* diff = Verb(*config, "diff", "print how the device differs from FILE (exit 1)");
    diff->add_option("FILE", l.Args, "a snapshot file")->expected(1)->type_name("")->required();
    CLI::App* apply = Verb(*config, "apply", "write what differs from FILE, the Wi-Fi mode last");
    apply->add_option("FILE", l.Args, "a snapshot file")
        ->expected(1)
        ->type_name("FILE")
        ->required();
    apply->add_flag("--dry-run", l.DryRun, "only tell what would be written");
    CLI::Option* reboot =
        apply->add_flag("--reboot", l.Reboot, "restart the device afterwards to take effect");
    apply->add_flag("--wait", l.Wait, "wait for the restart and check the values read back")
        ->needs(reboot);
    AddKeyFileOptions(*apply, l);
}

void AddSetVerbs(CLI::App& app, TCommandLine& l) {
    CLI::App* set = Verb(app, "set", "change one setting; it takes effect at the next restart");
    set->require_subcommand(1);
    Verb(*set, "location", "the location text (1 to 31 bytes)")
        ->add_option("TEXT", l.Args)
        ->expected(1)
        ->type_name("TEXT")
        ->required();
    CLI::App* modbus = Verb(*set, "modbus", "the Modbus TCP port and idle timeout (seconds)");
    modbus->add_option("PORT_TIMEOUT", l.Args, "PORT TIMEOUT")->expected(2)->required();
    CLI::App* ap = Verb(*set, "ap", "the access point's SSID, open or with a WPA/WPA2 key");
    ap->add_option("SSID", l.Args)->expected(1)->type_name("")->required();
    ap->add_option("--key-file", l.KeyFile, "the key (8 to 16 bytes); without it: open")
        ->type_name("FILE");
    CLI::App* station = Verb(*set, "station", "the station's SSID, open or with a key");
    station->add_option("SSID", l.Args)->expected(1)->type_name("")->required();
    CLI::Option* key =
        station->add_option("--key-file", l.KeyFile, "the key (8 to 16 bytes); without it: open")
            ->type_name("FILE");
    station->add_option("--key-type", l.KeyType, "the key's type (default wpa)")
        ->check(CLI::IsMember({"wep", "wpa"}))
        ->needs(key);
    Verb(*set, "static-ip", "the station's static address, or off")
        ->add_option("IP_MASK_GATEWAY", l.Args, "IP MASK GATEWAY, or off")
        ->expected(1, 3)
        ->required();
}

void AddVerbs(CLI::App& app, TCommandLine& l) {
    Verb(app, "scan", "find horns: get-information on every address of the ranges")
        ->add_option("CIDR", l.Args, "addresses or ranges A.B.C.D/N")
        ->required();
    Verb(app, "info", "every field the device reports");
    Verb(app, "status", "output, input, RSSI and armed");
    Verb(app, "watch", "print changes (and online/offline) until interrupted")
        ->add_option("--interval", l.IntervalMs, "ms between polls of a device (default 3100)")
        ->type_name("MS")
        ->check(CLI::Range(100, 3600000));
    CLI::App* relay = Verb(app, "relay", "switch the relay output on or off with a tone");
    relay->add_option("STATE", l.Args, "on or off")
        ->expected(1)
        ->type_name("STATE")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    relay->add_option("--tone", l.Tone, "the tone, 0 to 3 (default 0)")
        ->type_name("N")
        ->check(CLI::Range(0, 3));
    Verb(app, "find-me", "make the device signal where it is");
    AddConfigVerbs(app, l);
    AddSetVerbs(app, l);
    Verb(app, "wifi-mode", "switch to access-point or station mode; the device restarts at once")
        ->add_option("MODE", l.Args, "ap or station")
        ->expected(1)
        ->type_name("MODE")
        ->required()
        ->check(CLI::IsMember({"ap", "station"}));
    Verb(app, "reboot", "restart the device")
        ->add_flag("--wait", l.Wait, "wait until it answers again (60 s at most)");
    Verb(app, "reset-default", "back to the factory settings; the device restarts at once");
    CLI::App* firmware = Verb(app, "firmware", "upload a firmware image, verified by its byte sum");
    firmware->add_option("IMAGE", l.Args, "the image file (at most 2 MiB)")
        ->expected(1)
        ->type_name("IMAGE")
        ->required();
    firmware->add_flag("--wait", l.Wait,
                       "wait until the device answers again (60 s at most) and report the "
                       "firmware version after");
}

#ifdef KSTBELL_SITE_LOG
void AddSiteVerbs(CLI::App& app, TCommandLine& l) {
    CLI::App* site = Verb(app, "site", "what the site service (kstbelld) has recorded");
    site->require_subcommand(1);
    CLI::App* log = Verb(*site, "log", "the service's audit log, oldest first, from its database");
    log->add_option("--since", l.Since,
                    "entries from TIME on: 2027-01-07, 2027-01-07 08:00[:SS] (local time; Z at "
                    "the end: UTC), or a span before now: 30m, 2h, 7d")
        ->type_name("TIME");
    log->add_option("--until", l.Until, "entries before TIME (as --since)")->type_name("TIME");
    log->add_option("--horn", l.Horn, "one horn's entries: its address or MAC")->type_name("ADDR");
    std::vector<std::string> kinds, causes;
    for (const auto kind : store::AllAuditKinds())
        kinds.emplace_back(store::KindName(kind));
    for (const auto cause : store::AllAuditCauses())
        causes.emplace_back(store::CauseName(cause));
    log->add_option("--kind", l.Kinds, "only entries of this kind; repeatable")
        ->type_name("KIND")
        ->check(CLI::IsMember(kinds));
    log->add_option("--cause", l.Causes, "only entries with this cause; repeatable")
        ->type_name("CAUSE")
        ->check(CLI::IsMember(causes));
    log->add_option("--limit", l.Limit,
                    "at most N entries (default 100; without --since the newest)")
        ->type_name("N")
        ->check(CLI::Range(1, store::kMaxAuditLimit));
    log->add_option("--state-dir", l.StateDir,
                    "the service's state folder (default $STATE_DIRECTORY, else /var/lib/kstbell "
                    "when it holds the database, else ~/.local/state/kstbell)")
        ->type_name("DIR");
}
#endif

// The verb's name: the chosen subcommand and its own chosen subcommand.
std::string ChosenVerb(const CLI::App& app) {
    std::string verb;
    for (const CLI::App* level = &app;;) {
        const auto chosen = level->get_subcommands();
        if (chosen.empty()) break;
        level = chosen.front();
        verb += (verb.empty() ? "" : " ") + level->get_name();
    }
    return verb;
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, TCommandLine& line, std::ostream& out,
                      std::ostream& err, int& exitCode) {
    CLI::App app(kHelpDescription, "kstbellctl");
    app.footer(kHelpFooter);
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("kstbellctl ") + KSTBELL_VERSION);
    AddGlobalOptions(app, line);
    AddVerbs(app, line);
#ifdef KSTBELL_SITE_LOG
    AddSiteVerbs(app, line);
#endif
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        exitCode = app.exit(e, out, err);
        return false;
    } catch (const CLI::ParseError& e) {
        exitCode = app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
        return false;
    }
    line.PortGiven = app.count("--port") > 0;
    line.ParallelGiven = app.count("--parallel") > 0;
    line.Verb = ChosenVerb(app);
    return true;
}

}  // namespace kstbell::cli
