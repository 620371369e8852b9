#include <gtest/gtest.h>

#include "users/api_tokens.h"
#include "users/user_admin.h"
#include "users_fixture.h"

namespace kstbell::users {
namespace {

using namespace std::chrono_literals;
using test::At;
using test::By;
using test::TTempDir;

class UsersTokens : public ::testing::Test {
  protected:
    UsersTokens() { EXPECT_FALSE(admin_.Add("alice", TRole::Operator, "alice-pass", By(0))); }

    std::optional<TRole> Acts(const std::string& secret, long long ms = 0) {
        const auto who = tokens_.Verify(secret, At(ms));
        return who ? std::optional(who->Role) : std::nullopt;
    }

    TTempDir dir_;
    store::TStore store_{dir_.Path()};
    TUserAdmin admin_{store_};
    TApiTokens tokens_{store_};
};

// A token from its making to its revocation: shown once, never stored or listed, capped by its
// user's role as it is now, nothing while its user is disabled, gone with its user.
TEST_F(UsersTokens, LifeOfATokenFromMakingToRevocation) {
    const auto made = tokens_.Create("Alice", "ci", std::nullopt, By(1));
    ASSERT_TRUE(made.Ok());
    const TNewToken ci = made.Value();
    EXPECT_EQ(ci.Role, TRole::Operator) << "the user's role by default";
    EXPECT_TRUE(ci.Secret.starts_with("kstb_")) << ci.Secret;
    EXPECT_EQ(ci.Secret.size(), 60u);
    EXPECT_FALSE(test::Stored(store_, ci.Secret));
    EXPECT_FALSE(test::Stored(store_, ci.Secret.substr(17))) << "the verifier";

    const auto refusal = [&](std::string user, std::string name, std::optional<TRole> role) {
        const auto result = tokens_.Create(user, name, role, By(2));
        return result.Ok() ? std::nullopt : std::optional(result.Refusal().Kind);
    };
    EXPECT_EQ(refusal("alice", "CI", {}), TRefusalKind::Taken);
    EXPECT_EQ(refusal("carol", "ci", {}), TRefusalKind::NotFound);
    EXPECT_EQ(refusal("alice", "root", TRole::Admin), TRefusalKind::Invalid) << "above the user";
    EXPECT_EQ(refusal("alice", "", {}), TRefusalKind::Invalid);
    const auto viewer = tokens_.Create("alice", "wall display", TRole::Viewer, By(3)).Value();

    const auto principal = tokens_.Verify(ci.Secret, At(10'000));
    ASSERT_TRUE(principal);
    EXPECT_EQ(principal->Actor(), "alice (token ci)");
    EXPECT_TRUE(principal->May(TPermission::Operate));
    EXPECT_FALSE(principal->May(TPermission::Administer));
    EXPECT_EQ(Acts(viewer.Secret), TRole::Viewer);

    // Last use, to the minute.
    const auto lastUsed = [&] { return tokens_.List().at(0).LastUsed; };
    EXPECT_EQ(lastUsed(), At(10'000));
    Acts(ci.Secret, 69'999);
    EXPECT_EQ(lastUsed(), At(10'000));
    Acts(ci.Secret, 70'000);
    EXPECT_EQ(lastUsed(), At(70'000));

    EXPECT_FALSE(admin_.SetRole("alice", TRole::Viewer, By(4)));
    EXPECT_EQ(Acts(ci.Secret), TRole::Viewer) << "capped by the user's new role";
    EXPECT_EQ(tokens_.List().at(0).Acts, TRole::Viewer);
    EXPECT_EQ(tokens_.List().at(0).Role, TRole::Operator);
    EXPECT_FALSE(admin_.SetDisabled("alice", true, By(5)));
    EXPECT_EQ(Acts(ci.Secret), std::nullopt);
    EXPECT_FALSE(admin_.SetDisabled("alice", false, By(6)));
    EXPECT_EQ(Acts(ci.Secret), TRole::Viewer);

    EXPECT_FALSE(tokens_.Revoke(ci.Id, By(7)));
    EXPECT_EQ(Acts(ci.Secret), std::nullopt);
    EXPECT_EQ(tokens_.Revoke(ci.Id, By(8))->Kind, TRefusalKind::NotFound);
    EXPECT_FALSE(admin_.Remove("alice", By(9)));
    EXPECT_EQ(Acts(viewer.Secret), std::nullopt);
    EXPECT_TRUE(tokens_.List().empty());

    std::vector<std::string> logged;
    for (const auto& entry : test::Log(store_)) {
        EXPECT_EQ(entry.Detail.find("kstb_"), std::string::npos) << entry.Detail;
        if (entry.Kind == store::TAuditKind::TokenCreated ||
            entry.Kind == store::TAuditKind::TokenRevoked) {
            logged.push_back(entry.Detail);
        }
    }
    EXPECT_EQ(logged, (std::vector<std::string>{"token 1 'ci' of alice (operator)",
                                                "token 2 'wall display' of alice (viewer)",
                                                "token 1 'ci' of alice (operator)"}));
}

TEST_F(UsersTokens, AnyOtherTextIsNoToken) {
    const std::string secret = tokens_.Create("alice", "ci", {}, By(1)).Value().Secret;
    const std::string other = tokens_.Create("alice", "other", {}, By(1)).Value().Secret;
    auto changed = [&](std::size_t at) {
        std::string text = secret;
        text[at] = text[at] == 'A' ? 'B' : 'A';
        return text;
    };
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"a letter of the verifier changed", changed(40)},
        {"its last letter changed", changed(59)},
        {"a letter of the selector changed", changed(6)},
        {"cut short", secret.substr(0, 59)},
        {"one more letter", secret + "A"},
        {"with a line end", secret + "\n"},
        {"a session's prefix", "kstbs" + secret.substr(4)},
        {"its selector with another's verifier", secret.substr(0, 17) + other.substr(17)},
        {"in capitals", "KSTB_" + secret.substr(5)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Acts(c.text), std::nullopt) << c.name;
    }
    EXPECT_EQ(Acts(secret), TRole::Operator);
}

}  // namespace
}  // namespace kstbell::users
