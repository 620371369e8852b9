#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>

#include "users/names.h"
#include "users/password_hash.h"
#include "users/role.h"

namespace kstbell::users {
namespace {

std::string HashWith(int algorithm, unsigned long long ops, std::size_t mem,
                     std::string_view password) {
    char hash[crypto_pwhash_STRBYTES];
    EXPECT_EQ(crypto_pwhash_str_alg(hash, password.data(), password.size(), ops, mem, algorithm),
              0);
    return hash;
}

TEST(UsersPassword, OnlyTheRightPasswordVerifiesAgainstItsArgon2idHash) {
    const std::string hash = HashPassword("correct horse");
    EXPECT_TRUE(hash.starts_with("$argon2id$v=19$m=32768,t=2,p=1$")) << hash;
    EXPECT_NE(HashPassword("correct horse"), hash) << "each hash has a salt of its own";
    EXPECT_FALSE(NeedsRehash(hash));

    const std::string argon2i = HashWith(crypto_pwhash_ALG_ARGON2I13, 3, 8 << 20, "correct horse");
    const struct {
        const char* name;
        std::string hash;
        std::string password;
        bool verifies;
    } cases[] = {
        {"right", hash, "correct horse", true},
        {"one letter other", hash, "correct horsE", false},
        {"its beginning", hash, "correct hors", false},
        {"empty", hash, "", false},
        {"more after a NUL", hash, std::string("correct horse\0x", 15), false},
        {"an Argon2i hash of it", argon2i, "correct horse", false},
        {"a text that is no hash", "correct horse", "correct horse", false},
        {"no hash", "", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VerifyPassword(c.hash, c.password), c.verifies) << c.name;
    }
}

TEST(UsersPassword, HashesWithOtherLimitsStillVerifyAndAskToBeRedone) {
    const std::string weaker = HashWith(crypto_pwhash_ALG_ARGON2ID13, 1, 8 << 20, "old secret");
    EXPECT_TRUE(VerifyPassword(weaker, "old secret"));
    EXPECT_TRUE(NeedsRehash(weaker));
    EXPECT_TRUE(NeedsRehash("not a hash"));
}

TEST(UsersNames, NamesAndPasswordsPeopleMayChoose) {
    const struct {
        std::string text;
        bool nameOk;
        bool passwordOk;
    } cases[] = {
        {"alice", true, false},
        {"Zoë Ünal", true, true},
        {"backup script", true, true},
        {std::string(64, 'n'), true, true},
        {std::string(65, 'n'), false, true},
        {"", false, false},
        {" alice", false, false},
        {"alice ", false, false},
        {"ali\tce", false, false},
        {"alice\n", false, false},
        {"al\x7F"
         "ice",
         false, false},
        {"al\xC2\x85ice", false, false},  // U+0085, a C1 control
        {"al\xFFice", false, false},      // not UTF-8
        {"12345678", true, true},
        {std::string(1024, 'p'), false, true},
        {std::string(1025, 'p'), false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(!NameProblem(c.text, "user name"), c.nameOk) << c.text;
        EXPECT_EQ(!PasswordProblem(c.text), c.passwordOk) << c.text.size();
    }
    EXPECT_EQ(PasswordProblem("short"), "a password needs at least 8 bytes");
}

TEST(UsersRoles, EachRoleGrantsItsPermissionsAndThoseBelow) {
    using enum TPermission;
    const struct {
        TRole role;
        std::vector<TPermission> granted;
    } cases[] = {
        {TRole::Viewer, {View}},
        {TRole::Operator, {View, Operate}},
        {TRole::Admin, {View, Operate, Administer}},
    };
    for (const auto& c : cases) {
        for (const TPermission permission : AllPermissions()) {
            const bool expected = std::ranges::find(c.granted, permission) != c.granted.end();
            EXPECT_EQ(Allows(c.role, permission), expected)
                << RoleName(c.role) << " " << PermissionName(permission);
            EXPECT_EQ(PermissionFromName(PermissionName(permission)), permission);
        }
        EXPECT_EQ(RoleFromName(RoleName(c.role)), c.role);
        EXPECT_EQ(Lower(c.role, TRole::Operator),
                  c.role == TRole::Admin ? TRole::Operator : c.role);
    }
    EXPECT_EQ(RoleFromName("Admin"), std::nullopt);
}

}  // namespace
}  // namespace kstbell::users
