#include <gtest/gtest.h>

#include "users/authenticator.h"
#include "users/login_throttle.h"
#include "users/user_admin.h"
#include "users_fixture.h"

namespace kstbell::users {
namespace {

using namespace std::chrono_literals;
using test::At;

constexpr TThrottlePolicy kPolicy{.Window = 60s,
                                  .FreePerAddress = 5,
                                  .FreePerName = 3,
                                  .FirstDelay = 1s,
                                  .MaxDelay = 8s,
                                  .MaxKeys = 100};

// An attempt at ms: the wait it gets, or (when let through) its outcome.
long long Try(TLoginThrottle& throttle, long long ms, const char* address, const char* name,
              bool right = false) {
    const auto wait = throttle.Attempt(address, name, At(ms));
    if (wait.count() == 0 && right) throttle.Succeeded(address, name, At(ms));
    return wait.count();
}

TEST(UsersThrottle, FailuresPerAddressAndNameSlowAttemptsDown) {
    TLoginThrottle throttle(kPolicy);
    const struct {
        long long ms;
        const char* address;
        const char* name;
        bool right;
        long long wait;
    } steps[] = {
        {0, "A", "alice", false, 0},
        {0, "A", "alice", false, 0},
        {0, "A", "Alice", false, 0},  // names count ignoring case: 3 failures, 1 s to wait
        {0, "A", "alice", false, 1},
        {0, "B", "alice", false, 1},     // from anywhere
        {0, "A", "bob", false, 0},       // A's 4th failure
        {1000, "A", "alice", false, 0},  // alice's 4th (2 s), A's 5th (1 s)
        {1000, "A", "carol", false, 1},
        {2000, "A", "carol", false, 0},  // A's 6th: 2 s
        {2500, "A", "dave", false, 2},   // rounded up
        {3000, "B", "alice", false, 0},  // alice's 5th: 4 s
        {6000, "C", "alice", true, 1},
        {7000, "C", "alice", true, 0},  // right: alice's failures are forgotten
        {7000, "C", "alice", false, 0},
        {30000, "A", "erin", false, 0},  // A waits 2 s after its last failure only
    };
    for (const auto& s : steps) {
        EXPECT_EQ(Try(throttle, s.ms, s.address, s.name, s.right), s.wait)
            << s.ms << " " << s.address << " " << s.name;
    }
    EXPECT_EQ(throttle.Wait("A", "frank", At(30000)), 4s);
    EXPECT_EQ(throttle.Wait("A", "frank", At(200000)), 0s) << "the window has passed";
}

TEST(UsersThrottle, TheDelayDoublesUpToItsCapAndAttemptsInFlightCount) {
    TLoginThrottle throttle(kPolicy);
    std::vector<long long> waits;
    long long ms = 0;
    for (int i = 0; i < 9; ++i) {
        const std::string address = "10.0.0." + std::to_string(i);  // no address waits
        waits.push_back(throttle.Wait(address, "eve", At(ms)).count());
        ms += waits.back() * 1000;
        EXPECT_EQ(Try(throttle, ms, address.c_str(), "eve"), 0);
    }
    EXPECT_EQ(waits, (std::vector<long long>{0, 0, 0, 1, 2, 4, 8, 8, 8}));

    // Three attempts let through before any has an answer: the fourth waits.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(throttle.Attempt("192.0.2.1", "gina", At(0)), 0s);
    EXPECT_EQ(throttle.Attempt("192.0.2.1", "gina", At(0)), 1s);
}

TEST(UsersThrottle, AddressesCountByHostOrIpv6NetworkAndMemoryIsBounded) {
    const struct {
        const char* address;
        const char* key;
    } cases[] = {
        {"192.0.2.7", "address:192.0.2.7"},
        {"::ffff:192.0.2.7", "address:192.0.2.7"},
        {"2001:db8:1:2::5", "address:2001:0db8:0001:0002::/64"},
        {"[2001:db8:1:2:ffff::9]", "address:2001:0db8:0001:0002::/64"},
        {"2001:db8:1:2::5%eth0", "address:2001:0db8:0001:0002::/64"},
        {"2001:db8:1:3::5", "address:2001:0db8:0001:0003::/64"},
        {"unix socket", "address:unix socket"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AddressKey(c.address), c.key);
    }

    TLoginThrottle throttle(kPolicy);
    for (int i = 0; i < 1000; ++i) {
        const std::string n = std::to_string(i);
        Try(throttle, i, ("2001:db8:" + n + "::1").c_str(), ("user" + n).c_str());
    }
    EXPECT_LE(throttle.Keys(), kPolicy.MaxKeys);
    for (int i = 0; i < 2; ++i)
        Try(throttle, 1000, "2001:db8:999::2", "user999");
    EXPECT_EQ(throttle.Wait("2001:db8:999::3", "user999", At(1000)), 1s)
        << "the newest keys stay, with their earlier failure";
}

TEST(UsersThrottle, ALoginTooSoonIsAnsweredWithTheWaitEvenWithTheRightPassword) {
    test::TTempDir dir;
    store::TStore store(dir.Path());
    EXPECT_FALSE(TUserAdmin(store).Add("alice", TRole::Admin, "alice-pass", test::By(0)));
    TAuthenticator auth(store, {}, kPolicy);
    std::vector<std::pair<TLoginOutcome, long long>> answers;
    for (const char* password : {"guess-1", "guess-2", "guess-3", "alice-pass"}) {
        const TLoginResult result = auth.Login("alice", password, "192.0.2.9", At(0));
        answers.emplace_back(result.Outcome, result.RetryAfter.count());
    }
    EXPECT_EQ(answers,
              (std::vector<std::pair<TLoginOutcome, long long>>{{TLoginOutcome::Refused, 0},
                                                                {TLoginOutcome::Refused, 0},
                                                                {TLoginOutcome::Refused, 1},
                                                                {TLoginOutcome::TooSoon, 1}}));
    EXPECT_EQ(auth.Login("alice", "alice-pass", "192.0.2.9", At(1000)).Outcome,
              TLoginOutcome::LoggedIn);
}

}  // namespace
}  // namespace kstbell::users
