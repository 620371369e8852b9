#include <gtest/gtest.h>
#include <sodium.h>

#include <functional>

#include "users/authenticator.h"
#include "users/password_hash.h"
#include "users/user_admin.h"
#include "users_fixture.h"

namespace kstbell::users {
namespace {

using namespace std::chrono_literals;
using test::At;
using test::By;
using test::TTempDir;

constexpr long long kMinute = 60'000;

class UsersSessions : public ::testing::Test {
  protected:
    UsersSessions() {
        EXPECT_FALSE(admin_.Add("alice", TRole::Operator, "alice-pass", By(0)));
        EXPECT_FALSE(admin_.Add("bob", TRole::Viewer, "bob-password", By(0)));
    }

    TNewSession LogIn(const std::string& name, const std::string& password, long long ms) {
        TLoginResult result = auth_.Login(name, password, "192.0.2.7", At(ms));
        EXPECT_EQ(result.Outcome, TLoginOutcome::LoggedIn) << name;
        return result.Session.value_or(TNewSession{});
    }
    bool Alive(const TNewSession& session, long long ms) {
        return auth_.Session(session.Cookie, At(ms)).has_value();
    }

    TTempDir dir_;
    store::TStore store_{dir_.Path()};
    TUserAdmin admin_{store_};
    TAuthenticator auth_{store_, {.Idle = 10min, .Lifetime = 1h}};
};

// A session lives while it is used at least every 10 minutes, for an hour at most.
TEST_F(UsersSessions, ASessionEndsWhenIdleAtItsEndAndAtLogout) {
    const TNewSession idle = LogIn("alice", "alice-pass", 0);
    const TNewSession busy = LogIn("alice", "alice-pass", 0);
    EXPECT_EQ(idle.Session.Expires, At(10 * kMinute));
    EXPECT_NE(idle.Cookie, busy.Cookie);
    EXPECT_NE(idle.Session.Csrf, busy.Session.Csrf);
    const struct {
        long long minutes;
        std::optional<bool> idleAlive;  // checked at these times only
        bool busyAlive;                 // checked every time, never 10 minutes apart
    } timeline[] = {
        {9, true, true},          {18, true, true},         {27, std::nullopt, true},
        {28, false, true},        {36, std::nullopt, true}, {45, std::nullopt, true},
        {54, std::nullopt, true}, {59, std::nullopt, true}, {60, std::nullopt, false},
    };
    for (const auto& t : timeline) {
        if (t.idleAlive) {
            EXPECT_EQ(Alive(idle, t.minutes * kMinute), *t.idleAlive) << t.minutes;
        }
        EXPECT_EQ(Alive(busy, t.minutes * kMinute), t.busyAlive) << t.minutes;
    }
    EXPECT_FALSE(Alive(idle, 18 * kMinute)) << "an ended session stays ended";

    const TNewSession third = LogIn("bob", "bob-password", 0);
    EXPECT_TRUE(auth_.Logout(third.Cookie, At(kMinute)));
    EXPECT_FALSE(Alive(third, kMinute));
    EXPECT_FALSE(auth_.Logout(third.Cookie, At(kMinute)));
    for (const auto* secret : {&idle.Cookie, &busy.Cookie, &third.Cookie}) {
        EXPECT_FALSE(test::Stored(store_, *secret));
    }
}

TEST_F(UsersSessions, TheCsrfTokenIsTheSessionsOwn) {
    const TSession mine = LogIn("alice", "alice-pass", 0).Session;
    const TSession theirs = LogIn("bob", "bob-password", 0).Session;
    EXPECT_EQ(mine.Csrf.size(), 43u);
    const struct {
        std::string presented;
        bool matches;
    } cases[] = {
        {mine.Csrf, true},
        {theirs.Csrf, false},
        {"", false},
        {mine.Csrf.substr(0, 42), false},
        {mine.Csrf + "=", false},
        {std::string(43, 'A'), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CsrfMatches(mine, c.presented), c.matches) << c.presented;
    }
    EXPECT_FALSE(CsrfMatches(TSession{}, "")) << "a session without a token matches nothing";
}

// A new password, disabling or removing ends every session of the user and no other; a new
// role takes effect in the sessions at once.
TEST_F(UsersSessions, ChangesToAUserEndOrChangeItsSessions) {
    const struct {
        const char* name;
        std::function<TRefused()> change;
        bool ended;
    } cases[] = {
        {"new password", [&] { return admin_.SetPassword("alice", "other-pass", By(1)); }, true},
        {"disabled", [&] { return admin_.SetDisabled("alice", true, By(1)); }, true},
        {"removed", [&] { return admin_.Remove("alice", By(1)); }, true},
        {"new role", [&] { return admin_.SetRole("alice", TRole::Admin, By(1)); }, false},
    };
    const TNewSession bobs = LogIn("bob", "bob-password", 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!admin_.Find("alice")) {
            EXPECT_FALSE(admin_.Add("alice", TRole::Operator, "alice-pass", By(0)));
        }
        EXPECT_FALSE(admin_.SetDisabled("alice", false, By(0)));
        EXPECT_FALSE(admin_.SetPassword("alice", "alice-pass", By(0)));
        const TNewSession first = LogIn("alice", "alice-pass", 0);
        const TNewSession second = LogIn("alice", "alice-pass", 0);
        EXPECT_FALSE(c.change());
        for (const auto* session : {&first, &second}) {
            const auto now = auth_.Session(session->Cookie, At(1));
            EXPECT_EQ(now.has_value(), !c.ended);
            if (now) {
                EXPECT_EQ(now->User.Role, TRole::Admin);
            }
        }
        EXPECT_TRUE(Alive(bobs, 1));
    }
}

// The same refusal for a wrong password, an unknown name and a disabled user; the log names
// the user only when the name is a user's (a name typed wrongly may be a password).
TEST_F(UsersSessions, LoginsAreRefusedAlikeAndLoggedWithoutWhatWasTyped) {
    EXPECT_FALSE(admin_.SetDisabled("bob", true, By(0)));
    const struct {
        const char* name;
        const char* password;
        TLoginOutcome outcome;
        store::TAuditKind kind;
        const char* actor;
        const char* detail;
    } cases[] = {
        {"alice", "alice-pass", TLoginOutcome::LoggedIn, store::TAuditKind::Login, "alice",
         "from 192.0.2.7"},
        {"ALICE", "alice-pass", TLoginOutcome::LoggedIn, store::TAuditKind::Login, "alice",
         "from 192.0.2.7"},
        {"alice", "alice-Pass", TLoginOutcome::Refused, store::TAuditKind::LoginFailed, "alice",
         "wrong password; from 192.0.2.7"},
        {"alice-pass", "alice", TLoginOutcome::Refused, store::TAuditKind::LoginFailed, "",
         "no such user; from 192.0.2.7"},
        {"bob", "bob-password", TLoginOutcome::Refused, store::TAuditKind::LoginFailed, "bob",
         "user disabled; from 192.0.2.7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TLoginResult result = auth_.Login(c.name, c.password, "192.0.2.7", At(0));
        EXPECT_EQ(result.Outcome, c.outcome);
        EXPECT_EQ(result.Session.has_value(), c.outcome == TLoginOutcome::LoggedIn);
        const auto entry = test::Log(store_).back();
        EXPECT_EQ(entry.Kind, c.kind);
        EXPECT_EQ(entry.Actor, c.actor);
        EXPECT_EQ(entry.Detail, c.detail);
    }
    EXPECT_FALSE(test::Stored(store_, "alice-pass"));
}

TEST_F(UsersSessions, AHashWithOlderLimitsIsRedoneAtTheNextLogin) {
    char weaker[crypto_pwhash_STRBYTES];
    ASSERT_EQ(
        crypto_pwhash_str_alg(weaker, "alice-pass", 10, 1, 8 << 20, crypto_pwhash_ALG_ARGON2ID13),
        0);
    const TNewSession earlier = LogIn("alice", "alice-pass", 0);
    const auto alice = store_.Users().Find("alice");
    ASSERT_TRUE(store_.Users().ReplacePasswordHash(alice->Id, alice->PasswordHash, weaker));
    LogIn("alice", "alice-pass", 0);
    const std::string redone = store_.Users().Find("alice")->PasswordHash;
    EXPECT_NE(redone, weaker);
    EXPECT_FALSE(NeedsRehash(redone));
    EXPECT_TRUE(VerifyPassword(redone, "alice-pass"));
    EXPECT_TRUE(Alive(earlier, 1)) << "the same password: no session ends";
}

}  // namespace
}  // namespace kstbell::users
