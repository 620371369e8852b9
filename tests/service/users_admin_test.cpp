#include <gtest/gtest.h>

#include <functional>

#include "service/users/user_admin.h"
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

TEST(UsersAdmin, ANameThatCannotBeAUsersIsNotRepeatedInARefusal) {
    TTempDir dir;
    store::TStore store(dir.Path());
    const TRefused refused = TUserAdmin(store).Remove("\x1b]0;owned\x07", By(0));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->Message, "no such user");
    EXPECT_EQ(TUserAdmin(store).Remove("carol", By(0))->Message, "no user is called 'carol'");
}

}  // namespace
}  // namespace kstbell::users
