#pragma once

// Who a request comes from once its session or token checked out: the user, the role it acts
// with (a token's, never above its user's role as it is now), and the token if one was used.

#include <cstdint>
#include <optional>
#include <string>

#include "users/role.h"

namespace kstbell::users {

struct TPrincipal {
    std::int64_t UserId = 0;
    std::string UserName;
    TRole Role = TRole::Viewer;
    std::optional<std::int64_t> TokenId;
    std::string TokenName;

    bool May(TPermission permission) const { return Allows(Role, permission); }

    // How the audit log names it: "alice", or "alice (token backup-script)".
    std::string Actor() const {
        return TokenId ? UserName + " (token " + TokenName + ")" : UserName;
    }

    bool operator==(const TPrincipal&) const = default;
};

}  // namespace kstbell::users
