#include "service/timetable_command.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <ostream>

#include "calendar/calendar_config.h"
#include "calendar/timetable.h"
#include "config/reader.h"
#include "service/service_config.h"
#include "service/site_file.h"
#include "service/timetable_document.h"
#include "store/database.h"
#include "store/store.h"
#include "store/store_error.h"

namespace kstbell::service {

namespace {

int Export(store::ITimetableStore& kept, std::ostream& out, std::ostream& err) {
    const auto current = kept.Current();
    calendar::TTimetable timetable;
    if (!current) {
        err << "kstbelld: no timetable is kept in the database yet; an empty one is written\n";
    } else {
        std::vector<config::TError> mistakes;
        if (!ReadTimetableDocument(current->Document, {}, timetable, mistakes)) {
            err << "kstbelld: the timetable in the database (revision " << current->Revision
                << ") cannot be read: " << DocumentMistake(mistakes.front()) << '\n';
            return kTimetableCommandFailed;
        }
    }
    out << "# kstbelld's timetable";
    if (current)
        out << ", revision " << current->Revision << " (saved by " << current->ChangedBy << " at "
            << store::FormatUtc(current->ChangedAt) << ")";
    out << "\n\n" << calendar::TimetableToml(timetable);
    return kTimetableCommandOk;
}

// The groups the bells may name: the site file's, when there is one to read.
bool SiteGroups(const TTimetableCommandLine& line, std::optional<TServiceConfig>& site,
                std::ostream& err) {
    std::error_code ec;
    const bool given = !line.SiteFile.empty();
    const std::string path = given ? line.SiteFile : kDefaultConfigPath;
    if (!given && !std::filesystem::exists(path, ec)) {
        err << "kstbelld: no site file at " << path
            << ": the bells' groups are not checked (give --config SITE)\n";
        return true;
    }
    TServiceConfig config;
    std::vector<std::string> errors;
    if (!ReadSiteFile(path, config, errors)) {
        for (const auto& e : errors)
            err << "kstbelld: " << e << '\n';
        return false;
    }
    site = std::move(config);
    return true;
}

int Import(const TTimetableCommandLine& line, store::ITimetableStore& kept,
           const store::ISiteNamesStore& names, std::ostream& out, std::ostream& err) {
    std::optional<TServiceConfig> site;
    if (!SiteGroups(line, site, err)) return kTimetableCommandUsage;
    if (site && site->Calendar.ScheduleGiven) {
        err << "kstbelld: the site file " << site->Path
            << " holds the timetable ([schedule]); the database's is not used while it does\n";
        return kTimetableCommandFailed;
    }
    std::string error;
    const auto root = config::ParseFile(line.File, error);
    if (!root) {
        err << "kstbelld: " << error << '\n';
        return kTimetableCommandUsage;
    }
    calendar::TTimetable timetable;
    std::vector<calendar::TGroupUse> groups;
    std::vector<config::TError> mistakes;
    calendar::ReadTimetable(*root, line.File, timetable, groups, mistakes);
    if (site) {
        // Without [groups] in the site file, the groups are the database's.
        const auto saved = site->GroupsGiven ? store::TSiteNameSet{} : names.Current();
        calendar::CheckBellGroups(
            groups, line.File,
            [&](const std::string& g) {
                return site->FindGroup(g) != nullptr || saved.Groups.count(g) > 0;
            },
            mistakes);
    }
    if (!mistakes.empty()) {
        config::SortByLine(mistakes);
        for (const auto& mistake : config::FormatErrors(mistakes))
            err << "kstbelld: " << mistake << '\n';
        err << "kstbelld: nothing was imported\n";
        return kTimetableCommandUsage;
    }
    const auto current = kept.Current();
    calendar::TTimetable before;
    if (current) {
        std::vector<config::TError> unreadable;
        ReadTimetableDocument(current->Document, {}, before, unreadable);
    }
    const store::TChange change{
        std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now()),
        kImportActor, store::TAuditCause::Cli};
    const auto saved = kept.Save(
        current ? current->Revision : 0, TimetableDocument(timetable),
        "imported from " + line.File + ": " + TimetableChanges(before, timetable), change);
    if (!saved.Saved) {
        err << "kstbelld: revision " << saved.Current.Revision << " was saved by "
            << saved.Current.ChangedBy << " meanwhile; nothing was imported, try again\n";
        return kTimetableCommandFailed;
    }
    out << "timetable revision " << saved.Current.Revision << " saved: " << saved.Current.Summary
        << '\n';
    err << "kstbelld: a running kstbelld takes it up at its next reload (systemctl reload "
           "kstbelld, or SIGHUP)\n";
    return kTimetableCommandOk;
}

}  // namespace

bool ReadKeptTimetable(const std::filesystem::path& stateDir, calendar::TCalendarConfig& calendar,
                       std::string& note, std::string& error) {
    std::error_code ec;
    const auto file = store::DatabasePath(stateDir);
    if (!std::filesystem::exists(file, ec)) {
        note = "no timetable is kept in " + stateDir.string() + " yet";
        return true;
    }
    try {
        store::TDatabase db(file, store::TOpenMode::ReadOnly);
        const auto current = store::TTimetableRevisions(db).Current();
        if (!current) {
            note = "no timetable is kept in " + file.string() + " yet";
            return true;
        }
        calendar::TTimetable timetable;
        std::vector<config::TError> mistakes;
        if (!ReadTimetableDocument(current->Document, {}, timetable, mistakes)) {
            error = "the timetable in " + file.string() + " (revision " +
                    std::to_string(current->Revision) +
                    ") cannot be read: " + DocumentMistake(mistakes.front());
            return false;
        }
        auto exceptions = std::move(calendar.Schedule.Exceptions);
        calendar.Schedule = calendar::ScheduleOf(timetable);
        calendar.Schedule.Exceptions = std::move(exceptions);
        note = "the timetable kept in " + file.string() + ", revision " +
               std::to_string(current->Revision) + " (saved by " + current->ChangedBy + ")";
        return true;
    } catch (const store::TStoreError& e) {
        error = e.what();
        return false;
    }
}

void AddTimetableCommands(CLI::App& app, TTimetableCommandLine& line) {
    CLI::App* group = app.add_subcommand(
        "timetable", "the timetable kept in the database (when the site file has no [schedule])");
    group->require_subcommand(1);
    CLI::App* exportVerb = group->add_subcommand(
        "export", "write the database's timetable as the site file's [schedule] (TOML)");
    exportVerb->callback([&line] { line.Verb = "export"; });
    CLI::App* importVerb = group->add_subcommand(
        "import", "check FILE's [schedule] as the site file's is and save it as a new revision");
    importVerb->callback([&line] { line.Verb = "import"; });
    importVerb->add_option("FILE", line.File, "a TOML file with [schedule] tables")->required();
    importVerb
        ->add_option("--config", line.SiteFile,
                     "the site file whose groups the bells name (default "
                     "/etc/kstbell/site.toml, when it is there)")
        ->type_name("SITE");
}

int RunTimetableCommand(const TTimetableCommandLine& line, const std::filesystem::path& stateDir,
                        std::ostream& out, std::ostream& err) {
    try {
        store::TStore store(stateDir, store::TFolderOwner::MineOrRoot);
        if (line.Verb == "export") return Export(store.Timetable(), out, err);
        return Import(line, store.Timetable(), store.SiteNames(), out, err);
    } catch (const store::TStoreError& e) {
        err << "kstbelld: " << e.what() << '\n';
        return kTimetableCommandFailed;
    }
}

}  // namespace kstbell::service
