#pragma once

// The site service's database in its state folder: the audit log, the ring records, the
// service's own state, its users with their API tokens and browser sessions, the exceptions
// to the timetable added while it runs, and the timetable itself when the site file has none,
// in one SQLite file opened (and created, and brought up to date) once. Safe to call from several
// threads; nothing in it waits on the network.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/audit_log.h"
#include "store/ring_records.h"
#include "store/schedule_exceptions.h"
#include "store/service_state.h"
#include "store/session_records.h"
#include "store/site_names_store.h"
#include "store/state_folder.h"
#include "store/timetable_store.h"
#include "store/token_records.h"
#include "store/user_records.h"
#include "store/utc_time.h"

namespace kstbell::store {

class TDatabase;

inline constexpr const char* kDatabaseFileName = "kstbelld.db";
inline constexpr std::chrono::days kDefaultLogDays{365};
// Rings that are done stay this long beside the log (which keeps their history).
inline constexpr std::chrono::days kDoneRingDays{1};

// The database file in a state folder.
std::filesystem::path DatabasePath(const std::filesystem::path& stateDir);

struct TPruneResult {
    std::int64_t Entries = 0;
    std::int64_t Rings = 0;
};

class TStore {
  public:
    // Opens the database in stateDir, creating the folder and the file when missing and
    // bringing an older file up to date; refuses a folder of another user (root may open the
    // service's with MineOrRoot) or one that others may write, and a damaged or unsafe file.
    // Throws TStoreError: CannotOpen, NotOurs, TooNew, Damaged.
    explicit TStore(const std::filesystem::path& stateDir, TFolderOwner owner = TFolderOwner::Mine);
    ~TStore();
    TStore(const TStore&) = delete;
    TStore& operator=(const TStore&) = delete;

    const std::filesystem::path& File() const;

    // What is wrong with the database or its disk now, one sentence each; empty when nothing.
    std::vector<std::string> Problems() const;
    // Where the first failure of each kind, and its end, are told (from any thread).
    void SetProblemLog(std::function<void(const std::string&)> log);

    TAuditLog& Log() { return log_; }
    TRingRecords& Rings() { return rings_; }
    TServiceState& State() { return state_; }
    TUserRecords& Users() { return users_; }
    TTokenRecords& Tokens() { return tokens_; }
    TSessionRecords& Sessions() { return sessions_; }
    TScheduleExceptions& Exceptions() { return exceptions_; }
    // The timetable kept here when the site file has none.
    TTimetableRevisions& Timetable() { return timetable_; }
    // The horns' names and the groups kept here when the site file does not give them.
    TSiteNameRecords& SiteNames() { return siteNames_; }

    // Removes log entries older than logDays before now, and rings done with for a day.
    TPruneResult Prune(TUtcTime now, std::chrono::days logDays = kDefaultLogDays);

  private:
    std::unique_ptr<TDatabase> db_;
    TAuditLog log_;
    TRingRecords rings_;
    TServiceState state_;
    TUserRecords users_;
    TTokenRecords tokens_;
    TSessionRecords sessions_;
    TScheduleExceptions exceptions_;
    TTimetableRevisions timetable_;
    TSiteNameRecords siteNames_;
};

}  // namespace kstbell::store
