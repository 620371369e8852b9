#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "store/store_error.h"
#include "users/names.h"
#include "users/user_admin.h"
#include "users_fixture.h"

namespace kstbell::users {
namespace {

using test::By;
using test::TTempDir;
using K = store::TAuditKind;
using R = TRefusalKind;

// A user's life through every change an admin makes, step by step: what is refused and why,
// and what reaches the log (with the actor, and never a password).
TEST(UsersAdmin, ChangesAreMadeOrRefusedAndEachMadeOneIsLogged) {
    TTempDir dir;
    store::TStore store(dir.Path());
    TUserAdmin admin(store);
    const std::string password = "Tr0ub4dor&3x";
    const struct {
        const char* name;
        std::function<TRefused(const store::TChange&)> change;
        std::optional<R> refusal = {};
        std::optional<K> logged = {};
        const char* detail = "";
    } steps[] = {
        {"add",
         [&](auto& c) { return admin.Add("alice", TRole::Admin, password, c); },
         {},
         K::UserAdded,
         "alice (admin)"},
        {"add the same name in capitals",
         [&](auto& c) { return admin.Add("ALICE", TRole::Viewer, password, c); }, R::Taken},
        {"add an empty name", [&](auto& c) { return admin.Add("", TRole::Viewer, password, c); },
         R::Invalid},
        {"add a name with a line end",
         [&](auto& c) { return admin.Add("bob\nroot", TRole::Viewer, password, c); }, R::Invalid},
        {"add with a short password",
         [&](auto& c) { return admin.Add("bob", TRole::Viewer, "short", c); }, R::Invalid},
        {"add another",
         [&](auto& c) { return admin.Add("bob", TRole::Viewer, password, c); },
         {},
         K::UserAdded,
         "bob (viewer)"},
        {"new role",
         [&](auto& c) { return admin.SetRole("Bob", TRole::Operator, c); },
         {},
         K::UserRoleChanged,
         "bob: viewer -> operator"},
        {"the same role again", [&](auto& c) { return admin.SetRole("bob", TRole::Operator, c); }},
        {"role of nobody", [&](auto& c) { return admin.SetRole("carol", TRole::Admin, c); },
         R::NotFound},
        {"short password", [&](auto& c) { return admin.SetPassword("bob", "1234567", c); },
         R::Invalid},
        {"password of nobody", [&](auto& c) { return admin.SetPassword("carol", password, c); },
         R::NotFound},
        {"new password",
         [&](auto& c) { return admin.SetPassword("bob", "n3w-Secret", c); },
         {},
         K::UserPasswordChanged,
         "bob; 0 sessions ended"},
        {"disable",
         [&](auto& c) { return admin.SetDisabled("bob", true, c); },
         {},
         K::UserDisabled,
         "bob; 0 sessions ended"},
        {"disable again", [&](auto& c) { return admin.SetDisabled("bob", true, c); }},
        {"enable",
         [&](auto& c) { return admin.SetDisabled("bob", false, c); },
         {},
         K::UserEnabled,
         "bob"},
        {"remove",
         [&](auto& c) { return admin.Remove("bob", c); },
         {},
         K::UserRemoved,
         "bob (operator); 0 tokens revoked, 0 sessions ended"},
        {"remove again", [&](auto& c) { return admin.Remove("bob", c); }, R::NotFound},
    };
    long long ms = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        const std::size_t before = test::Log(store).size();
        ++ms;
        const TRefused refused = step.change(By(ms, "admin-" + std::to_string(ms)));
        EXPECT_EQ(refused ? std::optional(refused->Kind) : std::nullopt, step.refusal);
        const auto log = test::Log(store);
        ASSERT_EQ(log.size(), before + (step.logged ? 1 : 0));
        if (!step.logged) continue;
        EXPECT_EQ(log.back().Kind, *step.logged);
        EXPECT_EQ(log.back().Detail, step.detail);
        EXPECT_EQ(log.back().Actor, "admin-" + std::to_string(ms));
        EXPECT_EQ(log.back().Cause, store::TAuditCause::Cli);
        EXPECT_EQ(log.back().At, test::At(ms));
    }
    const auto users = admin.List();
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0], (TUser{users[0].Id, "alice", TRole::Admin, test::At(1), test::At(1), {}}));
    EXPECT_FALSE(test::Stored(store, password));
    EXPECT_FALSE(test::Stored(store, "n3w-Secret"));
}

// A user's own password changes only with the one it replaces; a refusal changes nothing.
TEST(UsersAdmin, AnOwnPasswordChangesOnlyWithTheCurrentOne) {
    TTempDir dir;
    store::TStore store(dir.Path());
    TUserAdmin admin(store);
    ASSERT_FALSE(admin.Add("bob", TRole::Viewer, "first-Secret-1", By(0)));
    const struct {
        const char* name;
        const char* user;
        const char* current;
        const char* password;
        std::optional<R> refusal = {};
        const char* says = "";
    } steps[] = {
        {"a wrong current password", "bob", "wrong-Secret-1", "second-Secret-2", R::Invalid,
         "the current password is wrong"},
        {"nobody's", "carol", "first-Secret-1", "second-Secret-2", R::NotFound},
        {"a new one too short", "bob", "first-Secret-1", "short", R::Invalid},
        {"the right one", "bob", "first-Secret-1", "second-Secret-2"},
        {"the old one after the change", "bob", "first-Secret-1", "third-Secret-3", R::Invalid,
         "the current password is wrong"},
        {"the new one", "bob", "second-Secret-2", "third-Secret-3"},
    };
    long long ms = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        const std::size_t before = test::Log(store).size();
        const TRefused refused =
            admin.ChangeOwnPassword(step.user, step.current, step.password, By(++ms, step.user));
        EXPECT_EQ(refused ? std::optional(refused->Kind) : std::nullopt, step.refusal);
        if (refused && *step.says) {
            EXPECT_EQ(refused->Message, step.says);
        }
        const auto log = test::Log(store);
        ASSERT_EQ(log.size(), before + (step.refusal ? 0 : 1));
        if (step.refusal) continue;
        EXPECT_EQ(log.back().Kind, K::UserPasswordChanged);
        EXPECT_EQ(log.back().Actor, step.user);
    }
    EXPECT_FALSE(test::Stored(store, "third-Secret-3"));
}

TEST(UsersAdmin, ANameThatCannotBeAUsersIsNotRepeatedInARefusal) {
    TTempDir dir;
    store::TStore store(dir.Path());
    const TRefused refused = TUserAdmin(store).Remove("\x1b]0;owned\x07", By(0));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->Message, "no such user");
    EXPECT_EQ(TUserAdmin(store).Remove("carol", By(0))->Message, "no user is called 'carol'");
}

// A site always keeps an enabled admin: whoever asks, the last one cannot be removed, given
// another role or disabled, while every change that leaves one is made as before.
TEST(UsersAdmin, TheLastEnabledAdminIsNeverRemovedDemotedOrDisabled) {
    const std::string password = "Tr0ub4dor&3x";
    struct TUserAtStart {
        const char* Name;
        TRole Role;
        bool Disabled = false;
    };
    const struct {
        const char* name;
        std::vector<TUserAtStart> users;
        std::function<TRefused(TUserAdmin&, const store::TChange&)> change;
        std::optional<R> refusal = {};
        const char* says = "";
    } cases[] = {
        {"remove the only admin",
         {{"demo", TRole::Admin}, {"vic", TRole::Viewer}},
         [](auto& a, auto& c) { return a.Remove("demo", c); },
         R::LastAdmin,
         "'demo' is the only enabled admin and cannot be removed: make another user an admin "
         "(or enable one) first"},
        {"demote the only admin",
         {{"demo", TRole::Admin}},
         [](auto& a, auto& c) { return a.SetRole("demo", TRole::Viewer, c); },
         R::LastAdmin,
         "cannot be given another role"},
        {"disable the only admin",
         {{"demo", TRole::Admin}},
         [](auto& a, auto& c) { return a.SetDisabled("DEMO", true, c); },
         R::LastAdmin,
         "'DEMO' is the only enabled admin and cannot be disabled"},
        {"a disabled admin does not count",
         {{"demo", TRole::Admin}, {"old", TRole::Admin, true}},
         [](auto& a, auto& c) { return a.Remove("demo", c); },
         R::LastAdmin},
        {"remove one of two admins",
         {{"demo", TRole::Admin}, {"ann", TRole::Admin}},
         [](auto& a, auto& c) { return a.Remove("demo", c); }},
        {"demote one of two admins",
         {{"demo", TRole::Admin}, {"ann", TRole::Admin}},
         [](auto& a, auto& c) { return a.SetRole("demo", TRole::Operator, c); }},
        {"the only admin given the admin role again",
         {{"demo", TRole::Admin}},
         [](auto& a, auto& c) { return a.SetRole("demo", TRole::Admin, c); }},
        {"the only admin enabled again",
         {{"demo", TRole::Admin}},
         [](auto& a, auto& c) { return a.SetDisabled("demo", false, c); }},
        {"enable a disabled admin",
         {{"demo", TRole::Admin}, {"old", TRole::Admin, true}},
         [](auto& a, auto& c) { return a.SetDisabled("old", false, c); }},
        {"remove a disabled admin",
         {{"demo", TRole::Admin}, {"old", TRole::Admin, true}},
         [](auto& a, auto& c) { return a.Remove("old", c); }},
        {"remove a viewer where no admin is enabled",
         {{"old", TRole::Admin, true}, {"vic", TRole::Viewer}},
         [](auto& a, auto& c) { return a.Remove("vic", c); }},
        {"remove nobody",
         {{"demo", TRole::Admin}},
         [](auto& a, auto& c) { return a.Remove("carol", c); },
         R::NotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TTempDir dir;
        store::TStore store(dir.Path());
        TUserAdmin admin(store);
        for (const auto& user : c.users) {
            ASSERT_FALSE(admin.Add(user.Name, user.Role, password, By(0)));
            // Straight in the store, keeping no role: a site where no admin is enabled any more
            // is one to be handled too.
            if (user.Disabled) {
                ASSERT_EQ(store.Users().SetDisabled(user.Name, true, By(0), ""),
                          store::TUserChange::Made);
            }
        }
        const auto before = admin.List();
        const std::size_t logged = test::Log(store).size();
        const TRefused refused = c.change(admin, By(1));
        EXPECT_EQ(refused ? std::optional(refused->Kind) : std::nullopt, c.refusal);
        if (!c.refusal || !refused) continue;
        EXPECT_NE(refused->Message.find(c.says), std::string::npos) << refused->Message;
        EXPECT_EQ(admin.List(), before) << "a refusal changes nothing";
        EXPECT_EQ(test::Log(store).size(), logged) << "and logs nothing";
    }
}

// Two programs on one database (the service and the command line), each taking away one of the
// last two admins at the same moment: the count and the change are one transaction, so one of
// them is refused, whichever comes first.
TEST(UsersAdmin, TwoChangesAtOnceCannotTakeAwayBothOfTheLastTwoAdmins) {
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        TTempDir dir;
        {
            store::TStore store(dir.Path());
            ASSERT_FALSE(TUserAdmin(store).Add("ann", TRole::Admin, "ann-password", By(0)));
            ASSERT_FALSE(TUserAdmin(store).Add("bob", TRole::Admin, "bob-password", By(0)));
        }
        store::TStore service(dir.Path());
        store::TStore commandLine(dir.Path());
        TRefused removed, disabled;
        std::string failedOne, failedTwo;  // neither may fail for the other holding the file
        std::thread one([&] {
            try {
                removed = TUserAdmin(service).Remove("ann", By(1));
            } catch (const store::TStoreError& e) {
                failedOne = e.what();
            }
        });
        std::thread two([&] {
            try {
                disabled = TUserAdmin(commandLine).SetDisabled("bob", true, By(1));
            } catch (const store::TStoreError& e) {
                failedTwo = e.what();
            }
        });
        one.join();
        two.join();
        ASSERT_EQ(failedOne + failedTwo, "");
        EXPECT_NE(removed.has_value(), disabled.has_value()) << "exactly one is refused";
        const TRefused& refused = removed ? removed : disabled;
        if (refused) {
            EXPECT_EQ(refused->Kind, R::LastAdmin);
        }
        int enabledAdmins = 0;
        for (const TUser& user : TUserAdmin(service).List())
            enabledAdmins += user.Role == TRole::Admin && !user.Disabled;
        EXPECT_EQ(enabledAdmins, 1);
    }
}

// Names that would look like another name, or like nothing, in the log, a terminal or the page:
// format characters are refused wherever they stand, naming which one and where.
TEST(UsersAdmin, NamesHoldNoInvisibleFormatCharacters) {
    const std::string invisible =
        "a user name cannot hold an invisible format character (zero-width or direction mark): ";
    const struct {
        std::string Name;
        std::string Problem;  // nothing: a good name
    } cases[] = {
        {"demo\u200B", invisible + "U+200B at byte 5"},
        {"\u200Ddemo", invisible + "U+200D at byte 1"},
        {"demo\u200E", invisible + "U+200E at byte 5"},
        {"nimda\u202E", invisible + "U+202E at byte 6"},
        {"a\u2066b\u2069", invisible + "U+2066 at byte 2"},
        {"de\u00ADmo", invisible + "U+00AD at byte 3"},
        {"\uFEFFdemo", invisible + "U+FEFF at byte 1"},
        {"demo\U000E0001", invisible + "U+E0001 at byte 5"},
        {"Zoë", ""},
        {"שרה", ""},
        {"🔔 bell", ""},
    };
    TTempDir dir;
    store::TStore store(dir.Path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(NameProblem(c.Name, "user name").value_or(""), c.Problem);
        const TRefused refused = TUserAdmin(store).Add(c.Name, TRole::Viewer, "pass-word-1", By(0));
        EXPECT_EQ(refused ? refused->Message : "", c.Problem);
        // Nor is a name that cannot be a user's repeated when it is not found.
        if (!c.Problem.empty()) {
            const TRefused missing = TUserAdmin(store).Remove(c.Name, By(0));
            EXPECT_EQ(missing ? missing->Message : "", "no such user");
        }
    }
    EXPECT_EQ(TUserAdmin(store).List().size(), 3u);
}

}  // namespace
}  // namespace kstbell::users
