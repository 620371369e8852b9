// A state folder or database that cannot be trusted is refused at the start with the reason,
// before anything opens what could hang or be followed; faults found while running are the
// store's problems until they end, told once.

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "store/audit_reader.h"
#include "store/store.h"
#include "store/store_error.h"
#include "store_fixture.h"

namespace kstbell::store {
namespace {

using test::At;
using test::Entry;
using test::TTempDir;
namespace fs = std::filesystem;

const TChange kByRoot{At(0), "root", TAuditCause::Cli};

// A database the service made and closed, with a user and an audit entry.
void MakeUsed(const fs::path& dir) {
    TStore store(dir);
    ASSERT_TRUE(store.Users().Add(
        {.Name = "ann", .Role = "admin", .PasswordHash = "h", .Created = At(0)}, kByRoot));
    store.Log().Append(Entry(1, TAuditKind::ServiceStart, TAuditCause::Service));
}

uid_t Nobody() {
    const passwd* nobody = ::getpwnam("nobody");
    return nobody ? nobody->pw_uid : 65534;
}

TEST(StoreDamage, RefusesWhatCannotBeTrustedWithTheReason) {
    const struct {
        const char* name;
        std::function<void(const fs::path& dir, const fs::path& file)> make;
        TStoreErrorKind kind;
        const char* says;
        bool reader;  // kstbellctl's reader refuses it too (without hanging)
    } cases[] = {
        {"a damaged page of the users",
         [](const fs::path& dir, const fs::path& file) {
             MakeUsed(dir);
             test::DamageTable(file, "users");
         },
         TStoreErrorKind::Damaged, "is damaged", false},
        {"a damaged root of the audit log",
         [](const fs::path& dir, const fs::path& file) {
             MakeUsed(dir);
             test::DamageTable(file, "audit_log");
         },
         TStoreErrorKind::Damaged, "is damaged", false},
        {"an empty file where a database was made",
         [](const fs::path& dir, const fs::path& file) {
             MakeUsed(dir);
             fs::resize_file(file, 0);
         },
         TStoreErrorKind::CannotOpen, "is empty, but a database was made here before", false},
        {"an empty file beside a log",
         [](const fs::path&, const fs::path& file) {
             std::ofstream(file).flush();
             std::ofstream(file.string() + "-wal") << "frames";
         },
         TStoreErrorKind::CannotOpen, "its write-ahead log is not empty", false},
        {"a FIFO", [](const fs::path&, const fs::path& file) { ::mkfifo(file.c_str(), 0600); },
         TStoreErrorKind::CannotOpen, "is a FIFO", true},
        {"a folder", [](const fs::path&, const fs::path& file) { fs::create_directory(file); },
         TStoreErrorKind::CannotOpen, "is a folder", true},
        {"a symbolic link to a database",
         [](const fs::path& dir, const fs::path& file) {
             MakeUsed(dir / "elsewhere");
             fs::create_symlink(DatabasePath(dir / "elsewhere"), file);
         },
         TStoreErrorKind::CannotOpen, "is a symbolic link", false},
        {"a shared-memory index that is a folder",
         [](const fs::path& dir, const fs::path& file) {
             MakeUsed(dir);
             fs::create_directory(file.string() + "-shm");
         },
         TStoreErrorKind::CannotOpen, "-shm: is a folder", false},
        {"a shared-memory index that is a link",
         [](const fs::path& dir, const fs::path& file) {
             MakeUsed(dir);
             std::ofstream(dir / "target") << "x";
             fs::create_symlink(dir / "target", file.string() + "-shm");
         },
         TStoreErrorKind::CannotOpen, "-shm: is a symbolic link", false},
        {"a folder of another user",
         [](const fs::path& dir, const fs::path&) {
             ASSERT_EQ(::chown(dir.c_str(), Nobody(), static_cast<gid_t>(-1)), 0);
         },
         TStoreErrorKind::CannotOpen, "belongs to user id", false},
        {"a folder its group may write",
         [](const fs::path& dir, const fs::path&) { fs::permissions(dir, fs::perms(0770)); },
         TStoreErrorKind::CannotOpen, "may be written by its group or others (mode 0770)", false},
    };
    ASSERT_EQ(::geteuid(), 0u) << "the owner's case needs root";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TTempDir dir;
        const fs::path file = DatabasePath(dir.Path());
        c.make(dir.Path(), file);
        std::error_code ignored;
        const std::string before = fs::is_regular_file(file, ignored) ? test::ReadBytes(file) : "";
        for (const bool reader : {false, true}) {
            if (reader && !c.reader) continue;
            try {
                reader ? (void)TAuditReader(dir.Path()) : (void)TStore(dir.Path());
                ADD_FAILURE() << "opened";
            } catch (const TStoreError& error) {
                EXPECT_EQ(error.Kind(), c.kind) << error.what();
                const char* says = reader ? "is not a regular file" : c.says;
                EXPECT_NE(std::string(error.what()).find(says), std::string::npos) << error.what();
            }
        }
        if (!before.empty()) {
            EXPECT_EQ(test::ReadBytes(file), before) << "left as it was";
        }
        ::chown(dir.Path().c_str(), 0, static_cast<gid_t>(-1));
    }
}

TEST(StoreDamage, RootMayAdministerTheServicesFolderOfAnotherUser) {
    TTempDir dir;
    ASSERT_EQ(::chown(dir.Path().c_str(), Nobody(), static_cast<gid_t>(-1)), 0);
    EXPECT_THROW((void)TStore(dir.Path()), TStoreError);
    EXPECT_NO_THROW((void)TStore(dir.Path(), TFolderOwner::MineOrRoot));
}

// Faults found while the service runs: each is a problem from the first failure on, told to
// the log once; one that a later success ends is told to have ended.
TEST(StoreDamage, FaultsFoundWhileRunningAreProblemsUntilTheyEnd) {
    const struct {
        const char* name;
        // Breaks the open store; false: not possible here (the test is skipped).
        std::function<bool(const fs::path& file)> breakIt;
        std::function<void(TStore&)> use;
        const char* problem;
        std::function<void(const fs::path& file)> mend;  // none: lasts until the next start
    } cases[] = {
        {"a damaged page of the users",
         [](const fs::path& file) {
             test::DamageTable(file, "users");
             return true;
         },
         [](TStore& store) { store.Users().Find("ann"); }, "the database is damaged", nullptr},
        {"a file that may not be written",
         [](const fs::path& file) {
             return test::SetImmutable(file.string() + "-wal", true) &&
                    test::SetImmutable(file, true);
         },
         [](TStore& store) {
             store.Log().Append(Entry(2, TAuditKind::StopAll, TAuditCause::Http));
         },
         "the database cannot be written",
         [](const fs::path& file) {
             test::SetImmutable(file, false);
             test::SetImmutable(file.string() + "-wal", false);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TTempDir dir;
        MakeUsed(dir.Path());
        TStore store(dir.Path());
        std::vector<std::string> told;
        store.SetProblemLog([&](const std::string& line) { told.push_back(line); });
        EXPECT_TRUE(store.Problems().empty());
        if (!c.breakIt(store.File())) {
            ADD_FAILURE() << "cannot break the file here";
            continue;
        }
        for (int attempt = 0; attempt < 3; ++attempt)
            EXPECT_THROW(c.use(store), TStoreError);
        const auto problems = store.Problems();
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find(c.problem), std::string::npos) << problems[0];
        EXPECT_NE(problems[0].find(store.File().string()), std::string::npos) << problems[0];
        ASSERT_EQ(told.size(), 1u) << "told once";
        EXPECT_EQ(told[0], problems[0]);
        if (!c.mend) continue;
        c.mend(store.File());
        EXPECT_NO_THROW(c.use(store));
        EXPECT_TRUE(store.Problems().empty());
        ASSERT_EQ(told.size(), 2u);
        EXPECT_EQ(told[1], "the database can be written again");
    }
}

}  // namespace
}  // namespace kstbell::store
