#pragma once

// Adding, listing and changing the service's users, for the command line and the web page's
// admin. Names and passwords are checked here, passwords hashed (see password_hash.h) and
// never kept or logged; every change goes to the audit log with who made it. A new password,
// disabling or removing a user ends every session of that user (removing also its tokens).
// Changes take effect at once in a running service, which reads users on every request. The
// last enabled admin is never removed, given another role or disabled (LastAdmin), so that
// someone can always administer the site; the store counts and changes in one transaction.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/change.h"
#include "store/store.h"
#include "users/refusal.h"
#include "users/role.h"

namespace kstbell::users {

// A user as shown: no password hash.
struct TUser {
    std::int64_t Id = 0;
    std::string Name;
    TRole Role = TRole::Viewer;
    store::TUtcTime Created{};
    store::TUtcTime PasswordChanged{};
    std::optional<store::TUtcTime> Disabled;

    bool operator==(const TUser&) const = default;
};

class TUserAdmin {
  public:
    explicit TUserAdmin(store::TStore& store) : store_(store) {}

    // Each throws TStoreError when the database fails.
    TRefused Add(std::string_view name, TRole role, std::string_view password,
                 const store::TChange& change);
    std::vector<TUser> List() const;
    std::optional<TUser> Find(std::string_view name) const;
    TRefused Remove(std::string_view name, const store::TChange& change);
    TRefused SetRole(std::string_view name, TRole role, const store::TChange& change);
    TRefused SetPassword(std::string_view name, std::string_view password,
                         const store::TChange& change);
    // A user's own new password, given with the one it replaces: refused (Invalid) when that
    // is wrong, and then nothing changes. It ends the user's sessions as SetPassword does.
    TRefused ChangeOwnPassword(std::string_view name, std::string_view current,
                               std::string_view password, const store::TChange& change);
    TRefused SetDisabled(std::string_view name, bool disabled, const store::TChange& change);

  private:
    store::TStore& store_;
};

// A user row as shown; nothing for a role this program does not know.
std::optional<TUser> UserFromRow(const store::TUserRow& row);

TRefusal NoSuchUser(std::string_view name);
TRefusal UserNameTaken(std::string_view name);

}  // namespace kstbell::users
