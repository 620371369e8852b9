// kstbelld: the site service. A site's horns on a calendar, rings that always end, alarms, an
// audit log, the MQTT front and the HTTP front.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mqtt/config_file.h"
#include "service/command_line.h"
#include "service/config_report.h"
#include "service/demo_account.h"
#include "service/demo_config.h"
#include "service/fronts.h"
#include "service/instance_lock.h"
#include "service/service.h"
#include "service/site_file.h"
#include "service/timetable_command.h"
#include "sim/simulated_site.h"
#include "sim/site_addresses.h"
#include "store/state_folder.h"
#include "store/store_error.h"
#include "users/user_command.h"
#include "web/http_config.h"

namespace {

using namespace kstbell;
using namespace kstbell::service;

constexpr int kFailed = kServiceFailed;
constexpr const char* kFirstSimulated = "127.0.78.1";
// The demo's HTTP front takes bodies this large: its whole timetable fits.
constexpr std::size_t kDemoBodyBytes = 1 << 20;

int Refuse(const std::string& why, int code = kBadConfiguration) {
    std::fprintf(stderr, "kstbelld: %s\n", why.c_str());
    return code;
}

std::vector<std::string> SimulatedAddresses(std::size_t count) {
    std::vector<std::string> out;
    for (const auto& a : sim::ConsecutiveAddresses(*sim::ParseIpv4(kFirstSimulated), count))
        out.push_back(sim::Ipv4Text(a));
    return out;
}

std::chrono::sys_seconds Now() {
    return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

// kstbelld user ... / token ...: on the database of the state folder (--state-dir DIR, else the
// service's own rule), beside a running service.
int Users(const TCommandLine& line) {
    const auto stateDir = store::ServiceStateFolder(line.StateDir);
    if (stateDir.empty()) return Refuse("no state folder: give --state-dir DIR");
    return users::RunUserCommand(*line.UserCommand, stateDir, std::cin, std::cout, std::cerr);
}

// SIGHUP: the timetable read again, the site file's or the database's; a file with a mistake
// is refused and the running timetable stays. The rest of the file is read at a restart.
void ReloadTimetable(TService& service, const TCommandLine& line,
                     const std::optional<TDeviceOverride>& simulated, const TLog& log) {
    std::string error;
    if (service.TimetableSource() == ETimetableSource::Database) {
        if (!service.ReloadTimetable(error)) log("SIGHUP: " + error + "; the running one stays");
        return;
    }
    TServiceConfig read;
    std::vector<std::string> mistakes;
    const std::string path = line.ConfigPath.empty() ? kDefaultConfigPath : line.ConfigPath;
    if (ReadSiteFile(path, read, mistakes, simulated) &&
        service.ReplaceFileTimetable(read.Calendar, mistakes))
        return;
    log("SIGHUP: the site file's timetable is refused (" + std::to_string(mistakes.size()) +
        " mistake(s)); the running one stays");
    for (const auto& mistake : mistakes)
        log("SIGHUP: " + mistake);
}

// kstbelld timetable export|import: on the database of the state folder, as user and token.
int TimetableCommand(const TCommandLine& line) {
    const auto stateDir = store::ServiceStateFolder(line.StateDir);
    if (stateDir.empty()) return Refuse("no state folder: give --state-dir DIR");
    return RunTimetableCommand(*line.TimetableCommand, stateDir, std::cout, std::cerr);
}

// The page's files: the installed ones, or, for --simulate from a build that was not
// installed, the source tree's.
std::filesystem::path PageDir(bool simulated) {
    std::error_code ec;
    if (simulated && !std::filesystem::is_directory(KSTBELL_PAGE_DIR, ec) &&
        std::filesystem::is_directory(KSTBELL_PAGE_SOURCE_DIR, ec))
        return KSTBELL_PAGE_SOURCE_DIR;
    return KSTBELL_PAGE_DIR;
}

// SQLite maps the database's shared-memory index (kstbelld.db-shm) into memory; if the file is
// cut short or its disk has no room for a page, the kernel raises SIGBUS at the next access.
// The process cannot go on, but it says why before it ends (only what a signal handler may
// call).
void BusError(int) {
    static constexpr char kText[] =
        "kstbelld: bus error: the database's shared-memory file (kstbelld.db-shm in the state "
        "folder) was cut short, made unwritable, or its disk is full; stopping\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, kText, sizeof kText - 1);
    ::_exit(kFailed);
}

}  // namespace

int main(int argc, char** argv) {
    // Every thread started from here on leaves these signals to the wait below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGBUS, BusError);

    TCommandLine line;
    if (const auto exit = ParseCommandLine({argv + 1, argv + argc}, line, std::cout, std::cerr))
        return *exit;
    if (line.UserCommand) return Users(line);
    if (line.TimetableCommand) return TimetableCommand(line);
    std::string error;

    std::optional<TDeviceOverride> simulated;
    if (line.Simulate) simulated = TDeviceOverride{SimulatedAddresses(line.Simulate), 0};
    TServiceConfig config;
    std::vector<std::string> errors;
    // The demo site is written for the simulated horns; a file's devices are replaced by them.
    const bool read =
        line.ConfigPath.empty() && simulated
            ? ReadSiteText(DemoConfig(simulated->Addresses), kDemoConfigName, config, errors)
            : ReadSiteFile(line.ConfigPath.empty() ? kDefaultConfigPath : line.ConfigPath, config,
                           errors, simulated);
    if (!read) {
        for (const auto& e : errors)
            std::fprintf(stderr, "kstbelld: %s\n", e.c_str());
        return kBadConfiguration;
    }
    // The simulated site is one to try out from a browser: its HTTP front is on by default.
    const bool defaultHttp = line.Simulate && !config.Http && line.Http.empty();
    if (defaultHttp) config.Http.emplace();
    if (!line.Http.empty()) {
        if (!config.Http) config.Http.emplace();
        config.Http->Listen = *web::ParseListen(line.Http, error);
    }
    // A site file without [schedule] leaves the timetable to the database: the bells shown are
    // those its newest revision rings.
    if ((line.CheckConfig || line.Next) && !config.Calendar.ScheduleGiven &&
        !(line.ConfigPath.empty() && simulated)) {
        std::string note;
        const auto stateDir = store::ServiceStateFolder(line.StateDir);
        if (stateDir.empty()) {
            note = "no state folder to read the database's timetable from (give --state-dir DIR)";
        } else if (!ReadKeptTimetable(stateDir, config.Calendar, note, error)) {
            return Refuse(error, kFailed);
        }
        std::fprintf(stderr, "kstbelld: %s\n", note.c_str());
    }
    if (line.CheckConfig) {
        std::fputs(ConfigSummary(config, Now()).c_str(), stdout);
        return 0;
    }
    if (line.Next) {
        std::fputs(NextBellsText(config, Now(), line.Next).c_str(), stdout);
        return 0;
    }
    std::string password;
    if (config.HasBroker && !config.Bridge.PasswordFile.empty() &&
        !mqtt::ReadPasswordFile(config.Bridge.PasswordFile, password, error))
        return Refuse(error);
    if (config.HasBroker && !mqtt::CheckConfig(config.Bridge, error))
        return Refuse(config.Path + ": " + error);

    const auto stateDir = store::ServiceStateFolder(line.StateDir);
    if (stateDir.empty())
        return Refuse(
            "no state folder: give --state-dir DIR (neither STATE_DIRECTORY nor HOME "
            "is set)",
            kBadConfiguration);
    TInstanceLock lock;
    if (!lock.Take(stateDir, error)) return Refuse(error, kFailed);

    const TLog log = StderrLog();
    std::unique_ptr<sim::TSimulatedSite> site;
    if (line.Simulate) {
        sim::TSiteOptions options;
        options.Horns.BindAddress = kFirstSimulated;
        options.Horns.Port = 0;
        options.Count = line.Simulate;
        try {
            site = std::make_unique<sim::TSimulatedSite>(options);
            site->Start();
        } catch (const std::exception& e) {
            return Refuse(std::string("the simulated horns did not start: ") + e.what(), kFailed);
        }
        config.Bridge.DevicePort = site->Port();
        log(std::to_string(site->Count()) + " simulated horn(s) from " + site->Address(0) +
            " on port " + std::to_string(site->Port()));
    }

    TServiceOptions options{stateDir, log, password};
    options.PageDir = PageDir(line.Simulate != 0);
    if (line.ConfigPath.empty() && simulated) {
        // The demo site's timetable lives in the database, to be edited from the page: its
        // school day is the first revision of a new state folder. Its exception (the day of the
        // start, with the bell a minute after it) stays the site's. The demo's front takes
        // bodies up to kDemoBodyBytes, so that a larger timetable can be saved whole.
        options.FirstTimetable = calendar::TimetableOf(config.Calendar.Schedule);
        config.Calendar.ScheduleGiven = false;
        if (config.Http)
            config.Http->MaxBodyBytes =
                std::max<std::size_t>(config.Http->MaxBodyBytes, kDemoBodyBytes);
    }
    std::unique_ptr<TService> service;
    try {
        service = std::make_unique<TService>(config, WithFronts(options));
    } catch (const store::TStoreError& e) {
        return Refuse(e.what(), kFailed);
    }
    std::string demoPassword;
    if (line.Simulate && config.Http) {
        demoPassword = MakeDemoAccount(service->Store(), error);
        if (demoPassword.empty()) return Refuse(error, kFailed);
    }
    if (!service->Start(error)) {
        service->Stop();
        if (defaultHttp && error.find("cannot listen") != std::string::npos)
            error += " (with --simulate the HTTP front is on " + std::string(web::kDefaultListen) +
                     " unless --http or the site file's [http] table says otherwise)";
        return Refuse(error);
    }
    if (!demoPassword.empty()) {
        std::printf(
            "kstbelld: the page is at %s\nkstbelld: log in as \"%s\" (admin) with the "
            "password %s\n",
            service->WebUrl().c_str(), kDemoUser, demoPassword.c_str());
        std::fflush(stdout);
    }
    for (;;) {
        int received = 0;
        sigwait(&signals, &received);
        if (received != SIGHUP) {
            log(std::string(received == SIGTERM ? "SIGTERM" : "SIGINT") + ": stopping");
            break;
        }
        ReloadTimetable(*service, line, simulated, log);
    }
    service->Stop();
    if (site) site->Stop();
    return 0;
}
