#pragma once

// The service's users: a name (unique ignoring ASCII case), a role, a password hash and when
// the user was created, last given a password and disabled. The store checks none of these
// texts; what a valid name, role or hash is, the users layer decides. Every change is logged.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/change.h"
#include "store/utc_time.h"

namespace kstbell::store {

class TDatabase;

struct TUserRow {
    std::int64_t Id = 0;  // given when added
    std::string Name{};
    std::string Role{};  // "viewer", "operator" or "admin"
    std::string PasswordHash{};
    TUtcTime Created{};
    TUtcTime PasswordChanged{};
    std::optional<TUtcTime> Disabled{};  // nothing: the user may log in

    bool operator==(const TUserRow&) const = default;
};

// What a change of one user came to.
enum class TUserChange {
    Made,        // or there was nothing to change
    NoSuchUser,  // nothing changed
    LastKept,    // not made: it would leave the kept role without an enabled user
};

class TUserRecords {
  public:
    explicit TUserRecords(TDatabase& db) : db_(db) {}

    // Adds the user (its Id, PasswordChanged and Disabled are not used) and returns its id;
    // nothing when the name is taken. Throws TStoreError, also for a role the file refuses.
    std::optional<std::int64_t> Add(const TUserRow& user, const TChange& change);

    std::optional<TUserRow> Find(std::string_view name) const;
    std::optional<TUserRow> Find(std::int64_t id) const;
    // Every user, by name.
    std::vector<TUserRow> List() const;

    // Removing a user removes its tokens and sessions; a new password or disabling the user
    // ends its sessions. `keep` is a role that must keep an enabled user: removing its last
    // enabled user, giving that user another role or disabling it is refused (LastKept). The
    // count and the change are one transaction, begun as a writer, so that two changes made at
    // once (also by two programs) cannot each take away one of the last two.
    TUserChange Remove(std::string_view name, const TChange& change, std::string_view keep);
    TUserChange SetRole(std::string_view name, const std::string& role, const TChange& change,
                        std::string_view keep);
    TUserChange SetDisabled(std::string_view name, bool disabled, const TChange& change,
                            std::string_view keep);
    // False when there is no such user.
    bool SetPasswordHash(std::string_view name, const std::string& hash, const TChange& change);

    // The same password in a stronger hash, as a login found it: replaces the hash only if it
    // is still oldHash, ends no session and logs nothing. False when it changed meanwhile.
    bool ReplacePasswordHash(std::int64_t id, const std::string& oldHash,
                             const std::string& newHash);

  private:
    TDatabase& db_;
};

}  // namespace kstbell::store
