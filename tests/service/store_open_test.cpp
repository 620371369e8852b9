#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "store/audit_reader.h"
#include "store/schema.h"
#include "store/store.h"
#include "store/store_error.h"
#include "store_fixture.h"

namespace kstbell::store {
namespace {

using test::At;
using test::Entry;
using test::TTempDir;
namespace fs = std::filesystem;
using TMake = std::function<void(const fs::path&)>;

unsigned Mode(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TMake Sql(std::string sql) {
    return [sql](const fs::path& file) {
        SQLite::Database(file, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE).exec(sql);
    };
}

TMake Bytes(std::string bytes) {
    return [bytes](const fs::path& file) { std::ofstream(file, std::ios::binary) << bytes; };
}

TEST(StoreOpen, NewDatabaseIsPrivateWriteAheadAndCurrent) {
    TTempDir dir;
    const fs::path state = dir.Path() / "state/kstbelld";
    TStore store(state);
    store.Log().Append(Entry(0, TAuditKind::ServiceStart, TAuditCause::Service));

    EXPECT_EQ(Mode(state), 0700u);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        EXPECT_EQ(Mode(store.File().string() + suffix), 0600u) << suffix;
    }
    SQLite::Database db(store.File(), SQLite::OPEN_READONLY);
    EXPECT_EQ(db.execAndGet("PRAGMA journal_mode").getString(), "wal");
    EXPECT_EQ(db.execAndGet("PRAGMA user_version").getInt(), kSchemaVersion);
    EXPECT_EQ(db.execAndGet("PRAGMA application_id").getInt(), kApplicationId);
}

TEST(StoreOpen, MigratesEveryOlderVersionKeepingItsData) {
    // As a program with schema version 1 left it (a copy that never changes with the code).
    std::vector<std::pair<std::string, TMake>> cases = {{"released version 1", Sql(R"sql(
PRAGMA journal_mode = WAL;
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
)sql")}};
    for (int version = 1; version < kSchemaVersion; ++version) {
        cases.emplace_back("migrated to " + std::to_string(version), [version](const fs::path& f) {
            SQLite::Database db(f, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            Migrate(db, f.c_str(), version);
        });
    }
    for (const auto& [name, make] : cases) {
        SCOPED_TRACE(name);
        TTempDir dir;
        const fs::path file = DatabasePath(dir.Path());
        make(file);
        Sql("INSERT INTO audit_log (at_ms, kind, cause, horn_address, detail) VALUES "
            "(1799308800000, 'bell_fired', 'schedule', '10.0.0.9', 'old'); "
            "INSERT INTO service_state VALUES ('scheduler', '1799308800000')")(file);

        TStore store(dir.Path());
        EXPECT_EQ(SQLite::Database(file).execAndGet("PRAGMA user_version").getInt(),
                  kSchemaVersion);
        const TAuditPage page = store.Log().Query({.Horn = "10.0.0.9"});
        ASSERT_EQ(page.Entries.size(), 1u);
        EXPECT_EQ(page.Entries[0].Detail, "old");
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
    std::string noise(8192, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = char(i * 131 + 7);
    const struct {
        const char* name;
        TMake make;
        TStoreErrorKind kind;
        const char* says;
    } cases[] = {
        {"a text file", Bytes("bell=08:00\n"), TStoreErrorKind::NotOurs, "is not a database"},
        {"binary noise", Bytes(noise), TStoreErrorKind::NotOurs, "is not a database"},
        {"another program's database", Sql("CREATE TABLE notes (text TEXT)"),
         TStoreErrorKind::NotOurs, "another program"},
        {"another program's empty database", Sql("PRAGMA application_id = 7"),
         TStoreErrorKind::NotOurs, "another program"},
        {"another program's database in write-ahead mode",
         Sql("PRAGMA journal_mode = WAL; CREATE TABLE notes (text TEXT)"), TStoreErrorKind::NotOurs,
         "another program"},
        {"ours from a newer program",
         [](const fs::path& f) {
             { TStore store(f.parent_path()); }
             Sql("PRAGMA user_version = " + std::to_string(kSchemaVersion + 1))(f);
         },
         TStoreErrorKind::TooNew, "newer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TTempDir dir;
        const fs::path file = DatabasePath(dir.Path());
        c.make(file);
        const std::string before = test::ReadBytes(file);
        for (const bool reader : {false, true}) {
            try {
                reader ? (void)TAuditReader(dir.Path()) : (void)TStore(dir.Path());
                ADD_FAILURE() << "opened";
            } catch (const TStoreError& error) {
                const std::string what = error.what();
                EXPECT_EQ(error.Kind(), c.kind) << what;
                EXPECT_NE(what.find(file.string()), std::string::npos) << what;
                EXPECT_NE(what.find(c.says), std::string::npos) << what;
            }
            EXPECT_EQ(test::ReadBytes(file), before);
        }
    }
}

TEST(StoreOpen, ReaderReadsBesideTheServiceAndRefusesWhatItCannotRead) {
    TTempDir dir;
    const auto refusal = [&] {
        try {
            TAuditReader reader(dir.Path());
        } catch (const TStoreError& error) {
            return std::optional(error.Kind());
        }
        return std::optional<TStoreErrorKind>();
    };
    EXPECT_EQ(refusal(), TStoreErrorKind::CannotOpen) << "no file yet";
    Bytes("")(DatabasePath(dir.Path()));
    EXPECT_EQ(refusal(), TStoreErrorKind::TooOld) << "an empty file, never set up";
    {
        SQLite::Database db(DatabasePath(dir.Path()), SQLite::OPEN_READWRITE);
        Migrate(db, "older", kSchemaVersion - 1);
    }
    EXPECT_EQ(refusal(), TStoreErrorKind::TooOld) << "an older version";
    {
        TStore store(dir.Path());
        TAuditReader reader(dir.Path());
        for (const std::size_t count : {1u, 2u}) {
            store.Log().Append(Entry(1, TAuditKind::StopAll, TAuditCause::Http));
            EXPECT_EQ(reader.Query({}).Entries.size(), count) << "sees what the service commits";
        }
    }
    EXPECT_FALSE(fs::exists(DatabasePath(dir.Path()).string() + "-wal")) << "service stopped";
    EXPECT_EQ(TAuditReader(dir.Path()).Query({}).Entries.size(), 2u);
}

}  // namespace
}  // namespace kstbell::store
