#include "service/store/schema.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>

#include <array>
#include <string>

#include "service/store/store_error.h"

namespace kstbell::store {

namespace {

// Step N takes a file from version N-1 to version N. A step, once released, never changes;
// what comes later is a new step. Instants are UTC milliseconds since the epoch. Names of
// horns, groups, alarms and actors are kept as text, not as references, so that the history
// outlives a horn, group or user removed from the configuration.
//
// Users, roles, API tokens and browser sessions come as a later step with tables of their own
// (users by name, tokens and sessions stored as hashes that reference a user); the log names
// the user or token in `actor` as it was called when it acted.
constexpr std::array<const char*, kSchemaVersion> kSteps = {
    // 1: the audit log and the service's own state.
    R"sql(
CREATE TABLE audit_log (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    at_ms INTEGER NOT NULL,
    kind TEXT NOT NULL,
    cause TEXT NOT NULL,
    actor TEXT NOT NULL DEFAULT '',
    horn_address TEXT NOT NULL DEFAULT '',
    horn_id TEXT NOT NULL DEFAULT '',
    group_name TEXT NOT NULL DEFAULT '',
    alarm TEXT NOT NULL DEFAULT '',
    tone INTEGER,
    duration_ms INTEGER,
    ring_id INTEGER,
    detail TEXT NOT NULL DEFAULT ''
);
CREATE INDEX audit_log_at ON audit_log (at_ms);
CREATE INDEX audit_log_horn_address ON audit_log (horn_address, at_ms);
CREATE INDEX audit_log_horn_id ON audit_log (horn_id, at_ms);
CREATE TABLE service_state (
    key TEXT PRIMARY KEY,
    value TEXT NOT NULL
) WITHOUT ROWID;
)sql",
    // 2: the ring records that let a restarted service switch off what a ring left on.
    R"sql(
CREATE TABLE rings (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    tone INTEGER NOT NULL,
    priority INTEGER NOT NULL,
    start_ms INTEGER NOT NULL,
    end_ms INTEGER NOT NULL,
    cause TEXT NOT NULL,
    actor TEXT NOT NULL DEFAULT '',
    group_name TEXT NOT NULL DEFAULT '',
    alarm TEXT NOT NULL DEFAULT ''
);
CREATE INDEX rings_end ON rings (end_ms);
CREATE TABLE ring_horns (
    ring_id INTEGER NOT NULL REFERENCES rings (id) ON DELETE CASCADE,
    horn_address TEXT NOT NULL,
    horn_id TEXT NOT NULL DEFAULT '',
    off_ms INTEGER,
    PRIMARY KEY (ring_id, horn_address)
) WITHOUT ROWID;
CREATE INDEX ring_horns_open ON ring_horns (horn_address) WHERE off_ms IS NULL;
)sql",
};

int PragmaInt(SQLite::Database& db, const char* pragma) {
    return db.execAndGet(std::string("PRAGMA ") + pragma).getInt();
}

}  // namespace

int ReadSchemaVersion(SQLite::Database& db, const char* file) {
    const int applicationId = PragmaInt(db, "application_id");
    const int version = PragmaInt(db, "user_version");
    if (applicationId != kApplicationId) {
        const int objects = db.execAndGet("SELECT count(*) FROM sqlite_schema").getInt();
        if (applicationId == 0 && version == 0 && objects == 0) return 0;
        throw TStoreError(TStoreErrorKind::NotOurs,
                          std::string(file) +
                              " is a database of another program; it was left "
                              "as it is");
    }
    if (version > kSchemaVersion) {
        throw TStoreError(TStoreErrorKind::TooNew,
                          std::string(file) + " was written by a newer kstbell (schema version " +
                              std::to_string(version) + ", this program knows up to " +
                              std::to_string(kSchemaVersion) + "); it was left as it is");
    }
    return version;
}

void Migrate(SQLite::Database& db, const char* file, int target) {
    for (;;) {
        SQLite::Transaction transaction(db, SQLite::TransactionBehavior::IMMEDIATE);
        const int version = ReadSchemaVersion(db, file);
        if (version >= target) return;  // the transaction only read: nothing to commit
        if (version == 0) db.exec("PRAGMA application_id = " + std::to_string(kApplicationId));
        db.exec(kSteps[static_cast<std::size_t>(version)]);
        db.exec("PRAGMA user_version = " + std::to_string(version + 1));
        transaction.commit();
    }
}

}  // namespace kstbell::store
