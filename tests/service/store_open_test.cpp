#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "service/store/audit_reader.h"
#include "service/store/schema.h"
#include "service/store/store.h"
#include "service/store/store_error.h"
#include "store_fixture.h"

namespace kstbell::store {
namespace {

using test::At;
using test::Entry;
using test::TTempDir;
namespace fs = std::filesystem;

unsigned Mode(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

int Pragma(const fs::path& file, const std::string& name) {
    SQLite::Database db(file, SQLite::OPEN_READONLY);
    return db.execAndGet("PRAGMA " + name).getInt();
}

TEST(StoreOpen, NewDatabaseIsPrivateWriteAheadAndCurrent) {
    TTempDir dir;
    const fs::path state = dir / "state/kstbelld";
    TStore store(state);
    store.Log().Append(Entry(0, TAuditKind::ServiceStart, TAuditCause::Service));

    EXPECT_EQ(store.File(), state / "kstbelld.db");
    EXPECT_EQ(Mode(state), 0700u);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        EXPECT_EQ(Mode(store.File().string() + suffix), 0600u) << suffix;
    }
    SQLite::Database db(store.File(), SQLite::OPEN_READONLY);
    EXPECT_EQ(db.execAndGet("PRAGMA journal_mode").getString(), "wal");
    EXPECT_EQ(db.execAndGet("PRAGMA user_version").getInt(), kSchemaVersion);
    EXPECT_EQ(db.execAndGet("PRAGMA application_id").getInt(), kApplicationId);
}

TEST(StoreOpen, ReopeningKeepsEverythingAndDoesNotMigrateAgain) {
    TTempDir dir;
    std::int64_t ringId = 0;
    {
        TStore store(dir.Path());
        store.Log().Append(Entry(5, TAuditKind::ConfigLoaded, TAuditCause::Service, "", "site"));
        ringId = store.Rings().Record({.Horns = {{"10.0.0.1", "", {}}}, .End = At(60'000)});
        store.State().SetTime("scheduler", At(7));
    }
    TStore store(dir.Path());
    const TAuditPage page = store.Log().Query({});
    ASSERT_EQ(page.Entries.size(), 1u);
    EXPECT_EQ(page.Entries[0].Detail, "site");
    EXPECT_EQ(store.Rings().Unfinished(At(0)).at(0).Id, ringId);
    EXPECT_EQ(store.State().GetTime("scheduler"), At(7));
    EXPECT_EQ(Pragma(store.File(), "user_version"), kSchemaVersion);
}

// A database as a program with schema version 1 left it: the audit log and the state, with
// an entry of each.
void WriteVersionOne(const fs::path& file) {
    SQLite::Database db(file, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db.exec("PRAGMA journal_mode = WAL");
    db.exec(R"sql(
PRAGMA application_id = 1802728546;
CREATE TABLE audit_log (
    id INTEGER PRIMARY KEY AUTOINCREMENT, at_ms INTEGER NOT NULL, kind TEXT NOT NULL,
    cause TEXT NOT NULL, actor TEXT NOT NULL DEFAULT '', horn_address TEXT NOT NULL DEFAULT '',
    horn_id TEXT NOT NULL DEFAULT '', group_name TEXT NOT NULL DEFAULT '',
    alarm TEXT NOT NULL DEFAULT '', tone INTEGER, duration_ms INTEGER, ring_id INTEGER,
    detail TEXT NOT NULL DEFAULT '');
CREATE INDEX audit_log_at ON audit_log (at_ms);
CREATE INDEX audit_log_horn_address ON audit_log (horn_address, at_ms);
CREATE INDEX audit_log_horn_id ON audit_log (horn_id, at_ms);
CREATE TABLE service_state (key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
PRAGMA user_version = 1;
)sql");
}

TEST(StoreOpen, MigratesEveryOlderVersionKeepingItsData) {
    struct TCase {
        std::string name;
        std::function<void(const fs::path&)> make;
    };
    std::vector<TCase> cases = {{"as version 1 was released", WriteVersionOne}};
    for (int version = 1; version < kSchemaVersion; ++version) {
        cases.push_back({"migrated to " + std::to_string(version), [version](const fs::path& f) {
                             SQLite::Database db(f, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
                             Migrate(db, f.c_str(), version);
                         }});
    }
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TTempDir dir;
        const fs::path file = DatabasePath(dir.Path());
        c.make(file);
        {
            SQLite::Database db(file, SQLite::OPEN_READWRITE);
            db.exec(
                "INSERT INTO audit_log (at_ms, kind, cause, horn_address, detail) VALUES "
                "(1799308800000, 'bell_fired', 'schedule', '10.0.0.9', 'old')");
            db.exec("INSERT INTO service_state VALUES ('scheduler', '1799308800000')");
        }
        TStore store(dir.Path());
        EXPECT_EQ(Pragma(file, "user_version"), kSchemaVersion);
        const TAuditPage page = store.Log().Query({.Horn = "10.0.0.9"});
        ASSERT_EQ(page.Entries.size(), 1u);
        EXPECT_EQ(page.Entries[0].Detail, "old");
        EXPECT_EQ(page.Entries[0].Kind, TAuditKind::BellFired);
        EXPECT_EQ(store.State().GetTime("scheduler"), At(0));
        const auto ring = store.Rings().Record({.Horns = {{"10.0.0.9", "", {}}}, .End = At(1)});
        EXPECT_EQ(store.Rings().Unfinished(At(0)).at(0).Id, ring);
        EXPECT_GT(store.Log().Append(Entry(2, TAuditKind::Ring, TAuditCause::Cli)),
                  page.Entries[0].Id);
    }
}

// Files that are not ours are refused with a clear error and left byte for byte as they were,
// by the service and by a reader alike.
TEST(StoreOpen, RefusesWhatIsNotOurDatabaseAndLeavesItAlone) {
    struct TCase {
        const char* name;
        std::function<void(const fs::path&)> make;
        TStoreErrorKind kind;
        const char* says;
    };
    const auto sqlite = [](const char* sql) {
        return [sql](const fs::path& file) {
            SQLite::Database db(file, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            db.exec(sql);
        };
    };
    const TCase cases[] = {
        {"a text file", [](const fs::path& f) { test::WriteBytes(f, "bell=08:00\n"); },
         TStoreErrorKind::NotOurs, "is not a database"},
        {"binary noise",
         [](const fs::path& f) {
             std::string bytes(8192, '\0');
             for (std::size_t i = 0; i < bytes.size(); ++i)
                 bytes[i] = char(i * 131 + 7);
             test::WriteBytes(f, bytes);
         },
         TStoreErrorKind::NotOurs, "is not a database"},
        {"another program's database", sqlite("CREATE TABLE notes (text TEXT)"),
         TStoreErrorKind::NotOurs, "another program"},
        {"another program's empty database with its own id", sqlite("PRAGMA application_id = 7"),
         TStoreErrorKind::NotOurs, "another program"},
        {"another program's database in write-ahead mode",
         sqlite("PRAGMA journal_mode = WAL; CREATE TABLE notes (text TEXT); "
                "INSERT INTO notes VALUES ('keep')"),
         TStoreErrorKind::NotOurs, "another program"},
        {"ours from a newer program",
         [](const fs::path& f) {
             { TStore store(f.parent_path()); }
             SQLite::Database db(f, SQLite::OPEN_READWRITE);
             db.exec("PRAGMA user_version = " + std::to_string(kSchemaVersion + 1));
         },
         TStoreErrorKind::TooNew, "newer"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TTempDir dir;
        const fs::path file = DatabasePath(dir.Path());
        c.make(file);
        const std::string before = test::ReadBytes(file);
        for (int reader = 0; reader < 2; ++reader) {
            try {
                if (reader) {
                    TAuditReader open(dir.Path());
                } else {
                    TStore open(dir.Path());
                }
                ADD_FAILURE() << "opened";
            } catch (const TStoreError& error) {
                EXPECT_EQ(error.Kind(), c.kind) << error.what();
                EXPECT_NE(std::string(error.what()).find(file.string()), std::string::npos);
                EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos)
                    << error.what();
            }
            EXPECT_EQ(test::ReadBytes(file), before);
        }
    }
}

TEST(StoreOpen, ReaderReadsBesideTheServiceAndRefusesWhatItCannotRead) {
    TTempDir dir;
    const auto kindOf = [&] {
        try {
            TAuditReader reader(dir.Path());
        } catch (const TStoreError& error) {
            return std::optional(error.Kind());
        }
        return std::optional<TStoreErrorKind>();
    };
    EXPECT_EQ(kindOf(), TStoreErrorKind::CannotOpen) << "no file yet";
    test::WriteBytes(DatabasePath(dir.Path()), "");
    EXPECT_EQ(kindOf(), TStoreErrorKind::TooOld) << "an empty file, never set up";
    {
        SQLite::Database db(DatabasePath(dir.Path()), SQLite::OPEN_READWRITE);
        Migrate(db, "older", kSchemaVersion - 1);
    }
    EXPECT_EQ(kindOf(), TStoreErrorKind::TooOld) << "an older version";

    {
        TStore store(dir.Path());
        store.Log().Append(Entry(1, TAuditKind::StopAll, TAuditCause::Http));
        TAuditReader reader(dir.Path());
        EXPECT_EQ(reader.Query({}).Entries.size(), 1u);
        store.Log().Append(Entry(2, TAuditKind::StopAll, TAuditCause::Http));
        EXPECT_EQ(reader.Query({}).Entries.size(), 2u) << "sees what the service commits";
    }
    // The service has stopped (its -wal and -shm files are gone); the reader still reads.
    EXPECT_FALSE(fs::exists(DatabasePath(dir.Path()).string() + "-wal"));
    TAuditReader reader(dir.Path());
    EXPECT_EQ(reader.Query({}).Entries.size(), 2u);
}

}  // namespace
}  // namespace kstbell::store
