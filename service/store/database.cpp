#include "service/store/database.h"

#include <string>
#include <system_error>

#include "service/store/database_file.h"
#include "service/store/schema.h"
#include "service/store/store_error.h"

namespace kstbell::store {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void CannotOpen(const fs::path& file, const std::string& why) {
    throw TStoreError(TStoreErrorKind::CannotOpen, file.string() + ": " + why);
}

// Reads the file's identity through a connection that cannot write, so that a file of
// another program is left exactly as it was (not even its journal replayed).
int ProbeVersion(const fs::path& file) {
    try {
        SQLite::Database probe(file, SQLite::OPEN_READONLY, kBusyTimeoutMs);
        return ReadSchemaVersion(probe, file.c_str());
    } catch (const SQLite::Exception& error) {
        if (error.getErrorCode() == SQLITE_NOTADB) {
            throw TStoreError(TStoreErrorKind::NotOurs,
                              file.string() + " is not a database; it was left as it is");
        }
        CannotOpen(file, error.what());
    }
}

}  // namespace

TDatabase::TDatabase(const fs::path& file, TOpenMode mode) : file_(file) {
    if (mode == TOpenMode::ReadWrite) {
        CreateIfMissing(file);
    } else if (std::error_code error; !fs::exists(file, error)) {
        CannotOpen(file, "no such file");
    }
    const int version = ProbeVersion(file);
    try {
        if (mode == TOpenMode::ReadWrite) {
            writer_ =
                std::make_unique<SQLite::Database>(file, SQLite::OPEN_READWRITE, kBusyTimeoutMs);
            SetUpConnection(*writer_, file);
            Migrate(*writer_, file.c_str());
        } else if (version != kSchemaVersion) {
            throw TStoreError(TStoreErrorKind::TooOld,
                              file.string() + " has schema version " + std::to_string(version) +
                                  ", this program reads version " + std::to_string(kSchemaVersion) +
                                  "; kstbelld brings it up to date when it starts");
        }
        reader_ = std::make_unique<SQLite::Database>(file, SQLite::OPEN_READONLY, kBusyTimeoutMs);
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
