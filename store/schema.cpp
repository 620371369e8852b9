#include "store/schema.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>

#include <array>
#include <string>

#include "store/store_error.h"

namespace kstbell::store {

namespace {

// Step N takes a file from version N-1 to version N. A step, once released, never changes;
// what comes later is a new step. Instants are UTC milliseconds since the epoch. Names of
// horns, groups, alarms and actors are kept as text, not as references, so that the history
// outlives a horn, group or user removed from the configuration.
//
// Users are found by name ignoring ASCII case. Tokens and sessions reference their user and go
// with it; their secrets are stored only as hashes, found through a random selector that is
// not secret. The log names the user or token in `actor` as it was called when it acted.
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
    // 3: people, their API tokens and browser sessions; exceptions to the timetable added
    // while the service runs. Audit kinds for these changes come with this version too.
    R"sql(
CREATE TABLE users (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL UNIQUE COLLATE NOCASE,
    role TEXT NOT NULL CHECK (role IN ('viewer', 'operator', 'admin')),
    password_hash TEXT NOT NULL,
    created_ms INTEGER NOT NULL,
    password_ms INTEGER NOT NULL,
    disabled_ms INTEGER
);
CREATE TABLE api_tokens (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    user_id INTEGER NOT NULL REFERENCES users (id) ON DELETE CASCADE,
    name TEXT NOT NULL COLLATE NOCASE,
    role TEXT NOT NULL CHECK (role IN ('viewer', 'operator', 'admin')),
    selector TEXT NOT NULL UNIQUE,
    secret_hash BLOB NOT NULL,
    created_ms INTEGER NOT NULL,
    last_used_ms INTEGER,
    UNIQUE (user_id, name)
);
CREATE TABLE sessions (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    user_id INTEGER NOT NULL REFERENCES users (id) ON DELETE CASCADE,
    selector TEXT NOT NULL UNIQUE,
    secret_hash BLOB NOT NULL,
    csrf_token TEXT NOT NULL,
    client TEXT NOT NULL DEFAULT '',
    created_ms INTEGER NOT NULL,
    seen_ms INTEGER NOT NULL,
    expires_ms INTEGER NOT NULL
);
CREATE INDEX sessions_user ON sessions (user_id);
CREATE INDEX sessions_expires ON sessions (expires_ms);
CREATE TABLE schedule_exceptions (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    first_date TEXT NOT NULL,
    last_date TEXT NOT NULL,
    plan TEXT,
    name TEXT NOT NULL DEFAULT '',
    added_by TEXT NOT NULL DEFAULT '',
    added_ms INTEGER NOT NULL,
    CHECK (first_date <= last_date)
);
CREATE INDEX schedule_exceptions_dates ON schedule_exceptions (first_date, last_date);
)sql",
    // 4: the timetable kept in the database (when the site file has none), one row per
    // revision: the whole document as JSON text, who saved it, when, and what changed.
    R"sql(
CREATE TABLE timetable_revisions (
    revision INTEGER PRIMARY KEY,
    changed_by TEXT NOT NULL DEFAULT '',
    changed_ms INTEGER NOT NULL,
    document TEXT NOT NULL,
    summary TEXT NOT NULL DEFAULT '',
    CHECK (revision >= 1)
);
)sql",
    // 5: the horns' names and the groups kept in the database (the parts the site file does not
    // give), with one revision number for the whole; the audit kinds of their changes.
    R"sql(
CREATE TABLE site_names_revision (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    revision INTEGER NOT NULL CHECK (revision >= 1)
);
CREATE TABLE horn_names (
    horn_address TEXT PRIMARY KEY,
    name TEXT NOT NULL CHECK (name <> '')
) WITHOUT ROWID;
CREATE TABLE site_groups (
    group_name TEXT NOT NULL,
    horn_address TEXT NOT NULL,
    PRIMARY KEY (group_name, horn_address)
) WITHOUT ROWID;
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
