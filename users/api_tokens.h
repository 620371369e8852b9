#pragma once

// API tokens for scripts and automations. A token belongs to a user, has a name and a role no
// higher than its user's, and is shown once, when it is made; only its hash is kept (see
// secret.h). It acts with the lower of its role and its user's role as it is now, and not at
// all while its user is disabled. Its last use is kept to the minute.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/change.h"
#include "store/store.h"
#include "users/principal.h"
#include "users/refusal.h"
#include "users/role.h"

namespace kstbell::users {

// A token as made: the only time its secret is known.
struct TNewToken {
    std::int64_t Id = 0;
    std::string Secret;
    std::string UserName;
    std::string Name;
    TRole Role = TRole::Viewer;
};

// A token as listed: never its secret.
struct TApiToken {
    std::int64_t Id = 0;
    std::string UserName;
    std::string Name;
    TRole Role = TRole::Viewer;  // as made
    TRole Acts = TRole::Viewer;  // what it may do now: capped by its user's role
    bool UserDisabled = false;   // then it may do nothing
    store::TUtcTime Created{};
    std::optional<store::TUtcTime> LastUsed;

    bool operator==(const TApiToken&) const = default;
};

// Uses closer together than this are not written down.
inline constexpr std::chrono::minutes kLastUsedStep{1};

class TApiTokens {
  public:
    explicit TApiTokens(store::TStore& store) : store_(store) {}

    // A token for the user; its role defaults to the user's. Each throws TStoreError when the
    // database fails.
    TResult<TNewToken> Create(std::string_view userName, std::string_view name,
                              std::optional<TRole> role, const store::TChange& change);
    std::vector<TApiToken> List() const;
    TRefused Revoke(std::int64_t id, const store::TChange& change);

    // Who presents this token, or nothing for a text that is no token of a user who may act.
    std::optional<TPrincipal> Verify(std::string_view presented, store::TUtcTime now);

  private:
    store::TStore& store_;
};

}  // namespace kstbell::users
