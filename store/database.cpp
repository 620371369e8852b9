#include "store/database.h"

#include <SQLiteCpp/Statement.h>

#include <string>
#include <system_error>

#include "store/database_file.h"
#include "store/schema.h"
#include "store/store_error.h"

namespace kstbell::store {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void CannotOpen(const fs::path& file, const std::string& why) {
    throw TStoreError(TStoreErrorKind::CannotOpen, file.string() + ": " + why);
}

// How many of quick_check's findings a refusal quotes.
constexpr int kFindingsQuoted = 3;

// PRAGMA quick_check over the whole file (every page of every table and index, without
// comparing the indexes' contents with their tables'): a damaged file is refused at the start
// instead of failing one request at a time later.
void CheckIntact(SQLite::Database& db, const fs::path& file) {
    SQLite::Statement check(db, "PRAGMA quick_check(" + std::to_string(kFindingsQuoted) + ")");
    std::string findings;
    while (check.executeStep()) {
        const std::string line = check.getColumn(0).getString();
        if (line == "ok") return;
        findings += (findings.empty() ? "" : "; ") + line;
    }
    throw TStoreError(TStoreErrorKind::Damaged,
                      file.string() + " is damaged (" + findings +
                          "); it was left as it is: restore it from a backup, or move it away "
                          "to start a new database");
}

// Reads the file's identity through a connection that cannot write, so that a file of
// another program is left exactly as it was (not even its journal replayed); for the
// service, checks that it is intact.
int ProbeVersion(const fs::path& file, TOpenMode mode) {
    try {
        const int flags =
            SQLite::OPEN_READONLY | (mode == TOpenMode::ReadWrite ? SQLITE_OPEN_NOFOLLOW : 0);
        SQLite::Database probe(file, flags, kBusyTimeoutMs);
        const int version = ReadSchemaVersion(probe, file.c_str());
        if (mode == TOpenMode::ReadWrite) CheckIntact(probe, file);
        return version;
    } catch (const SQLite::Exception& error) {
        if (error.getErrorCode() == SQLITE_CORRUPT) {
            throw TStoreError(TStoreErrorKind::Damaged,
                              file.string() + " is damaged (" + error.what() +
                                  "); it was left as it is: restore it from a backup, or move "
                                  "it away to start a new database");
        }
        if (error.getErrorCode() == SQLITE_NOTADB) {
            throw TStoreError(TStoreErrorKind::NotOurs,
                              file.string() + " is not a database; it was left as it is");
        }
        CannotOpen(file, error.what());
    }
}

}  // namespace

TDatabase::TDatabase(const fs::path& file, TOpenMode mode, TFolderOwner owner)
    : file_(file), health_(file.parent_path().empty() ? fs::path(".") : file.parent_path()) {
    if (mode == TOpenMode::ReadWrite) {
        PrepareFile(file, owner);
    } else if (std::error_code error; !fs::exists(file, error)) {
        CannotOpen(file, "no such file");
    } else if (!fs::is_regular_file(file, error)) {
        // A FIFO would hold the open up forever, a device be read as a database.
        CannotOpen(file, "is not a regular file; refused");
    }
    const int version = ProbeVersion(file, mode);
    try {
        if (mode == TOpenMode::ReadWrite) {
            writer_ = std::make_unique<SQLite::Database>(
                file, SQLite::OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, kBusyTimeoutMs);
            SetUpConnection(*writer_, file);
            Migrate(*writer_, file.c_str());
        } else if (version != kSchemaVersion) {
            throw TStoreError(TStoreErrorKind::TooOld,
                              file.string() + " has schema version " + std::to_string(version) +
                                  ", this program reads version " + std::to_string(kSchemaVersion) +
                                  "; kstbelld brings it up to date when it starts");
        }
        const int readFlags =
            SQLite::OPEN_READONLY | (mode == TOpenMode::ReadWrite ? SQLITE_OPEN_NOFOLLOW : 0);
        reader_ = std::make_unique<SQLite::Database>(file, readFlags, kBusyTimeoutMs);
    } catch (const SQLite::Exception& error) {
        CannotOpen(file, error.what());
    }
}

TDatabase::~TDatabase() = default;

SQLite::Database& TDatabase::Writer() {
    if (!writer_) {
        throw TStoreError(TStoreErrorKind::Failed,
                          file_.string() + ": opened for reading only, cannot write");
    }
    return *writer_;
}

TDatabase::TDurable::TDurable(SQLite::Database& db) : db_(db) {
    db.exec("PRAGMA synchronous = FULL");
}

TDatabase::TDurable::~TDurable() {
    db_.tryExec("PRAGMA synchronous = NORMAL");
}

}  // namespace kstbell::store
