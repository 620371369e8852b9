#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "store/schema.h"
#include "users/password_hash.h"
#include "users/user_command.h"
#include "users_fixture.h"

namespace kstbell::users {
namespace {

using test::TTempDir;
namespace fs = std::filesystem;

struct TRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

TRun RunCommand(const fs::path& state, std::vector<std::string> args,
                const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    TRun run;
    run.Exit = RunUserCommand(args, state, in, out, err);
    run.Out = out.str();
    run.Err = err.str();
    return run;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The commands one after another on one database: their exit codes and what they say, and
// that no password or token secret reaches the output or the database in clear.
TEST(UsersCommand, ExitCodesAnswersAndNoSecretInTheOpen) {
    TTempDir dir;
    const std::string pw = "Secret-pass-1";
    const std::string twice = pw + "\n" + pw + "\n";
    const struct {
        std::vector<std::string> args;
        std::string input;
        int exit;
        const char* says;  // in out when it succeeds, in err otherwise
    } steps[] = {
        {{"user", "add", "alice", "--role", "admin"}, twice, 0, "user alice added (admin)"},
        {{"user", "add", "Alice", "--role", "viewer"}, twice, 1, "exists"},
        {{"user", "add", "bob", "--role", "boss"}, twice, 2, "boss"},
        {{"user", "add", "bob"}, twice, 2, "--role is required"},
        {{"user", "add", "bob", "--role", "viewer"}, "pw-one-xx\npw-two-xx\n", 1, "differ"},
        {{"user", "add", "bob", "--role", "viewer"}, "", 1, "no password"},
        {{"user", "add", "bob", "--role", "viewer"}, "short\nshort\n", 2, "at least 8 bytes"},
        {{"user", "add", "bob\tby", "--role", "viewer"}, twice, 2, "control characters"},
        {{"user", "add", "bob\u200B", "--role", "viewer"}, twice, 2, "U+200B at byte 4"},
        {{"user", "remove", "alice"}, "", 1, "only enabled admin and cannot be removed"},
        {{"user", "role", "alice", "operator"}, "", 1, "cannot be given another role"},
        {{"user", "disable", "alice"}, "", 1, "alice' is the only enabled admin"},
        {{"user", "add", "bob", "--role", "viewer", "--password", "hunter2-x"},
         "",
         2,
         "never given on the command line"},
        {{"user", "add", "bob", "--role", "viewer"}, "bob-pass-1\nbob-pass-1\n", 0, "bob added"},
        {{"user", "passwd", "carol"}, twice, 1, "no user is called 'carol'"},
        {{"user", "passwd", "bob"}, "bob-pass-2\nbob-pass-2\n", 0, "sessions ended"},
        {{"user", "role", "bob", "operator"}, "", 0, "bob is now operator"},
        {{"user", "disable", "bob"}, "", 0, "bob disabled"},
        {{"user", "enable", "bob"}, "", 0, "bob enabled"},
        {{"user", "list"}, "", 0, "bob    operator"},
        {{"token", "create", "ci", "--user", "bob", "--role", "admin"}, "", 2, "cannot have"},
        {{"token", "create", "ci", "--user", "carol"}, "", 1, "no user is called"},
        {{"token", "create", "ci", "--user", "bob"}, "", 0, "kstb_"},
        {{"token", "list"}, "", 0, "bob   ci    operator"},
        {{"token", "revoke", "2"}, "", 1, "no token has the id 2"},
        {{"token", "revoke", "one"}, "", 2, "one"},
        {{"token", "revoke", "1"}, "", 0, "token 1 revoked"},
        {{"user", "remove", "bob"}, "", 0, "removed"},
        {{"user", "remove", "bob"}, "", 1, "no user is called 'bob'"},
        {{"user"}, "", 2, "subcommand"},
        {{"frobnicate"}, "", 2, "subcommand is required"},
        {{"user", "--help"}, "", 0, "passwd"},
    };
    std::string everything, secret;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.args[0] + " " + (s.args.size() > 1 ? s.args[1] : "") + " -> " +
                     std::to_string(s.exit));
        const TRun run = RunCommand(dir.Path(), s.args, s.input);
        EXPECT_EQ(run.Exit, s.exit) << run.Err;
        EXPECT_TRUE(Has(s.exit == 0 ? run.Out : run.Err, s.says)) << run.Out << run.Err;
        everything += run.Out + run.Err;
        if (s.args.size() > 1 && s.args[1] == "create" && run.Exit == 0) secret = run.Out;
    }
    ASSERT_EQ(secret.size(), 61u) << "the token alone on its line";
    secret.pop_back();
    EXPECT_EQ(everything.find(secret), everything.rfind(secret)) << "shown once";

    store::TStore store(dir.Path());
    for (const std::string& hidden :
         {pw, std::string("bob-pass-1"), std::string("bob-pass-2"), std::string("hunter2"),
          std::string("pw-one"), std::string("pw-two"), secret}) {
        EXPECT_FALSE(test::Stored(store, hidden)) << hidden;
        if (hidden != secret) {
            EXPECT_FALSE(Has(everything, hidden)) << hidden;
        }
    }
    for (const auto& entry : test::Log(store)) {
        EXPECT_EQ(entry.Cause, store::TAuditCause::Cli);
        EXPECT_EQ(entry.Actor, "root") << entry.Detail;
    }
    EXPECT_EQ(test::Log(store).size(), 9u);
}

TEST(UsersCommand, APasswordFileIsReadOnlyWhenOthersCannotReadIt) {
    TTempDir dir;
    const fs::path file = dir.Path() / "password";
    const struct {
        const char* content;
        unsigned mode;
        int exit;
        const char* err;
    } cases[] = {
        {"first-line\r\nsecond line\n", 0600, 0, ""},
        {"first-line\n", 0640, 0, "can be read by its group"},
        {"first-line\n", 0604, 1, "can be read by others (mode 0604)"},
        {"\nfirst-line\n", 0600, 1, "first line is empty"},
        {"first-line", 0000, 0, ""},  // root reads it anyway; the mode says only the owner
    };
    int added = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        std::ofstream(file, std::ios::trunc) << c.content;
        fs::permissions(file, static_cast<fs::perms>(c.mode));
        const std::string name = "user" + std::to_string(added);
        const TRun run = RunCommand(dir.Path(), {"user", "add", name, "--role", "viewer",
                                                 "--password-file", file.string()});
        EXPECT_EQ(run.Exit, c.exit) << run.Err;
        EXPECT_TRUE(Has(run.Err, c.err)) << run.Err;
        EXPECT_FALSE(Has(run.Out + run.Err, "first-line"));
        if (run.Exit != 0) continue;
        ++added;
        store::TStore store(dir.Path());
        EXPECT_TRUE(VerifyPassword(store.Users().Find(name)->PasswordHash, "first-line"));
    }
    const TRun missing = RunCommand(
        dir.Path(), {"user", "passwd", "user0", "--password-file", (dir.Path() / "none").string()});
    EXPECT_EQ(missing.Exit, 1);
    EXPECT_TRUE(Has(missing.Err, "cannot be read"));
}

TEST(UsersCommand, TakesUpADatabaseOfSchemaVersionTwo) {
    TTempDir dir;
    const fs::path file = store::DatabasePath(dir.Path());
    {
        SQLite::Database db(file, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec("PRAGMA journal_mode = WAL");
        store::Migrate(db, file.c_str(), 2);
        db.exec(
            "INSERT INTO audit_log (at_ms, kind, cause) VALUES (1, 'service_start', "
            "'service')");
    }
    const TRun run = RunCommand(dir.Path(), {"user", "add", "alice", "--role", "admin"},
                                "alice-pass\nalice-pass\n");
    EXPECT_EQ(run.Exit, 0) << run.Err;
    store::TStore store(dir.Path());
    EXPECT_EQ(SQLite::Database(file).execAndGet("PRAGMA user_version").getInt(),
              store::kSchemaVersion);
    const auto log = test::Log(store);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].Kind, store::TAuditKind::ServiceStart);
    EXPECT_EQ(log[1].Kind, store::TAuditKind::UserAdded);
    EXPECT_TRUE(store.Users().Find("alice"));
}

}  // namespace
}  // namespace kstbell::users
