#include "users/user_admin.h"

#include "users/names.h"
#include "users/password_hash.h"

namespace kstbell::users {

namespace {

TRefused Invalid(std::optional<std::string> problem) {
    if (!problem) return std::nullopt;
    return TRefusal{TRefusalKind::Invalid, std::move(*problem)};
}

TRefused Found(bool found, std::string_view name) {
    if (found) return std::nullopt;
    return NoSuchUser(name);
}

// What a change the last enabled admin is kept from came to; `refused` says what it cannot be.
TRefused Changed(store::TUserChange change, std::string_view name, std::string_view refused) {
    switch (change) {
        case store::TUserChange::Made:
            return std::nullopt;
        case store::TUserChange::NoSuchUser:
            return NoSuchUser(name);
        case store::TUserChange::LastKept:
            return TRefusal{TRefusalKind::LastAdmin,
                            "'" + std::string(name) + "' is the only enabled admin and cannot be " +
                                std::string(refused) +
                                ": make another user an admin (or enable one) first"};
    }
    return NoSuchUser(name);
}

// The role that always keeps an enabled user.
std::string_view KeptRole() {
    return RoleName(TRole::Admin);
}

}  // namespace

std::optional<TUser> UserFromRow(const store::TUserRow& row) {
    const auto role = RoleFromName(row.Role);
    if (!role) return std::nullopt;
    return TUser{row.Id, row.Name, *role, row.Created, row.PasswordChanged, row.Disabled};
}

TRefusal NoSuchUser(std::string_view name) {
    // A name that could not be a user's is not repeated: it may hold anything.
    if (NameProblem(name, "user name")) return {TRefusalKind::NotFound, "no such user"};
    return {TRefusalKind::NotFound, "no user is called '" + std::string(name) + "'"};
}

TRefusal UserNameTaken(std::string_view name) {
    return {TRefusalKind::Taken,
            "a user called '" + std::string(name) + "' exists (names are the same ignoring case)"};
}

TRefused TUserAdmin::Add(std::string_view name, TRole role, std::string_view password,
                         const store::TChange& change) {
    if (auto refused = Invalid(NameProblem(name, "user name"))) return refused;
    if (auto refused = Invalid(PasswordProblem(password))) return refused;
    const store::TUserRow row{.Name = std::string(name),
                              .Role = std::string(RoleName(role)),
                              .PasswordHash = HashPassword(password),
                              .Created = change.At};
    if (!store_.Users().Add(row, change)) {
        return UserNameTaken(name);
    }
    return std::nullopt;
}

std::vector<TUser> TUserAdmin::List() const {
    std::vector<TUser> users;
    for (const store::TUserRow& row : store_.Users().List()) {
        if (auto user = UserFromRow(row)) users.push_back(std::move(*user));
    }
    return users;
}

std::optional<TUser> TUserAdmin::Find(std::string_view name) const {
    const auto row = store_.Users().Find(name);
    return row ? UserFromRow(*row) : std::nullopt;
}

TRefused TUserAdmin::Remove(std::string_view name, const store::TChange& change) {
    return Changed(store_.Users().Remove(name, change, KeptRole()), name, "removed");
}

TRefused TUserAdmin::SetRole(std::string_view name, TRole role, const store::TChange& change) {
    return Changed(store_.Users().SetRole(name, std::string(RoleName(role)), change, KeptRole()),
                   name, "given another role");
}

TRefused TUserAdmin::SetPassword(std::string_view name, std::string_view password,
                                 const store::TChange& change) {
    if (auto refused = Invalid(PasswordProblem(password))) return refused;
    if (!store_.Users().Find(name)) return NoSuchUser(name);  // no hash made for nobody
    return Found(store_.Users().SetPasswordHash(name, HashPassword(password), change), name);
}

TRefused TUserAdmin::ChangeOwnPassword(std::string_view name, std::string_view current,
                                       std::string_view password, const store::TChange& change) {
    const auto row = store_.Users().Find(name);
    if (!row) {
        VerifyNobody(current);  // as long as for a user that exists
        return NoSuchUser(name);
    }
    if (!VerifyPassword(row->PasswordHash, current))
        return TRefusal{TRefusalKind::Invalid, "the current password is wrong"};
    return SetPassword(name, password, change);
}

TRefused TUserAdmin::SetDisabled(std::string_view name, bool disabled,
                                 const store::TChange& change) {
    return Changed(store_.Users().SetDisabled(name, disabled, change, KeptRole()), name,
                   "disabled");
}

}  // namespace kstbell::users
