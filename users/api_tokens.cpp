#include "users/api_tokens.h"

#include "users/names.h"
#include "users/secret.h"
#include "users/user_admin.h"

namespace kstbell::users {

namespace {

std::optional<TApiToken> TokenFromRow(const store::TTokenRow& row) {
    const auto role = RoleFromName(row.Role);
    const auto userRole = RoleFromName(row.UserRole);
    if (!role || !userRole) return std::nullopt;
    return TApiToken{row.Id,           row.UserName, row.Name,    *role, Lower(*role, *userRole),
                     row.UserDisabled, row.Created,  row.LastUsed};
}

}  // namespace

TResult<TNewToken> TApiTokens::Create(std::string_view userName, std::string_view name,
                                      std::optional<TRole> role, const store::TChange& change) {
    if (auto problem = NameProblem(name, "token name")) {
        return TRefusal{TRefusalKind::Invalid, std::move(*problem)};
    }
    const auto userRow = store_.Users().Find(userName);
    const auto user = userRow ? UserFromRow(*userRow) : std::nullopt;
    if (!user) return NoSuchUser(userName);
    const TRole tokenRole = role.value_or(user->Role);
    if (Lower(tokenRole, user->Role) != tokenRole) {
        return TRefusal{TRefusalKind::Invalid,
                        "a token of " + user->Name + " (" + std::string(RoleName(user->Role)) +
                            ") cannot have the role " + std::string(RoleName(tokenRole))};
    }
    const TSplitSecret secret = NewSplitSecret(kTokenPrefix);
    const store::TTokenRow row{.UserId = user->Id,
                               .Name = std::string(name),
                               .Role = std::string(RoleName(tokenRole)),
                               .Selector = secret.Selector,
                               .SecretHash = secret.Hash,
                               .Created = change.At};
    const auto id = store_.Tokens().Add(row, change);
    if (!id) {
        if (!store_.Users().Find(user->Id)) return NoSuchUser(userName);  // removed meanwhile
        return TRefusal{TRefusalKind::Taken, user->Name + " has a token called '" +
                                                 std::string(name) +
                                                 "' (names are the same ignoring case)"};
    }
    return TNewToken{*id, secret.Text, user->Name, std::string(name), tokenRole};
}

std::vector<TApiToken> TApiTokens::List() const {
    std::vector<TApiToken> tokens;
    for (const store::TTokenRow& row : store_.Tokens().List()) {
        if (auto token = TokenFromRow(row)) tokens.push_back(std::move(*token));
    }
    return tokens;
}

TRefused TApiTokens::Revoke(std::int64_t id, const store::TChange& change) {
    if (store_.Tokens().Revoke(id, change)) return std::nullopt;
    return TRefusal{TRefusalKind::NotFound, "no token has the id " + std::to_string(id)};
}

std::optional<TPrincipal> TApiTokens::Verify(std::string_view presented, store::TUtcTime now) {
    const auto selector = SelectorOf(kTokenPrefix, presented);
    if (!selector) return std::nullopt;
    const auto row = store_.Tokens().FindBySelector(*selector);
    if (!row || !SameSecret(HashSecret(presented), row->SecretHash)) return std::nullopt;
    const auto token = TokenFromRow(*row);
    if (!token || token->UserDisabled) return std::nullopt;
    if (!row->LastUsed || now - *row->LastUsed >= kLastUsedStep || now < *row->LastUsed) {
        store_.Tokens().SetLastUsed(row->Id, now);
    }
    return TPrincipal{row->UserId, row->UserName, token->Acts, row->Id, row->Name};
}

}  // namespace kstbell::users
