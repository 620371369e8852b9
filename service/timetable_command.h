#pragma once

// kstbelld's timetable commands, on the database of the state folder (beside a running service,
// which takes an imported timetable up at its next reload, SIGHUP):
//
//   timetable export                 the database's timetable as the site file's [schedule]
//                                    tables (TOML), on out
//   timetable import FILE            FILE's [schedule] (as export writes it, or a site file's),
//       [--config SITE]              checked as the site file's is, with the groups of SITE
//                                    (default /etc/kstbell/site.toml, when it is there); saved
//                                    as a new revision by "kstbelld timetable import"

#include <filesystem>
#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace kstbell::calendar {
struct TCalendarConfig;
}

namespace kstbell::service {

inline constexpr int kTimetableCommandOk = 0;
// The database cannot be opened or written, the site file holds the timetable, or another
// revision was saved meanwhile.
inline constexpr int kTimetableCommandFailed = 1;
// The command line, or a mistake in FILE (each told) or the site file.
inline constexpr int kTimetableCommandUsage = 2;

inline constexpr const char* kImportActor = "kstbelld timetable import";

struct TTimetableCommandLine {
    std::string Verb;  // "export" or "import"; empty: no timetable command
    std::string File;
    std::string SiteFile;  // import: the site file whose groups the bells name
};

// For --next and --check-config of a site file without [schedule]: the database's timetable
// (its newest revision) in place of the file's, the file's exceptions kept. note says which
// revision, or that the folder keeps none yet (the timetable then stays empty). False, with
// why, when the database is there but cannot be read.
bool ReadKeptTimetable(const std::filesystem::path& stateDir, calendar::TCalendarConfig& calendar,
                       std::string& note, std::string& error);

// Adds `timetable export` and `timetable import FILE [--config SITE]` to app.
void AddTimetableCommands(CLI::App& app, TTimetableCommandLine& line);

int RunTimetableCommand(const TTimetableCommandLine& line, const std::filesystem::path& stateDir,
                        std::ostream& out, std::ostream& err);

}  // namespace kstbell::service
