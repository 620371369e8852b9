#pragma once

// Browser sessions. A login makes one: a random id for the cookie (stored only as a hash, see
// secret.h) and a random CSRF token that every state change must carry. A session ends at
// logout, when it has not been used for the idle time, at its absolute end however busy it is,
// and when its user is removed, disabled or given a new password. Its last use is kept to the
// minute, so a page that polls does not write to the disk on every request.

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "store/change.h"
#include "store/store.h"
#include "users/principal.h"

namespace kstbell::users {

struct TSessionPolicy {
    // A working day without a request ends it; so does a day after the login.
    std::chrono::seconds Idle = std::chrono::hours(8);
    std::chrono::seconds Lifetime = std::chrono::hours(24);
};

// A session as the front sees it on each request.
struct TSession {
    std::int64_t Id = 0;
    TPrincipal User;
    std::string Csrf;           // for the page to send back with every state change
    store::TUtcTime Expires{};  // the earlier of its idle and its absolute end

    bool operator==(const TSession&) const = default;
};

// A session as made at login: the only time its cookie value is known.
struct TNewSession {
    std::string Cookie;
    TSession Session;
};

// Uses closer together than this are not written down.
inline constexpr std::chrono::minutes kSeenStep{1};

class TSessions {
  public:
    explicit TSessions(store::TStore& store, TSessionPolicy policy = {})
        : store_(store), policy_(policy) {}

    const TSessionPolicy& Policy() const { return policy_; }

    // A session for the user, which the caller has just authenticated, logged as a login
    // from client. Removes sessions that have ended meanwhile. Nothing when the user no longer
    // exists. Throws TStoreError.
    std::optional<TNewSession> Start(std::int64_t userId, const std::string& client,
                                     store::TUtcTime now);

    // The live session this cookie value opens, or nothing. An ended session found is removed.
    std::optional<TSession> Check(std::string_view cookie, store::TUtcTime now);

    // Logout: ends the session this cookie value opens, logged with its user; false when there
    // is none.
    bool End(std::string_view cookie, store::TUtcTime now, store::TAuditCause cause);

  private:
    // Whether this call is the one to write the session's last use: of the requests that find
    // it a step old at once (a page's, a script's in parallel), one writes, the others go on.
    bool ClaimSeen(std::int64_t session, store::TUtcTime now);

    store::TStore& store_;
    TSessionPolicy policy_;
    std::mutex seenMutex_;
    std::map<std::int64_t, store::TUtcTime> seenClaims_;  // session: the last use written
};

// Whether a request's CSRF token is the session's, in constant time.
bool CsrfMatches(const TSession& session, std::string_view presented);

}  // namespace kstbell::users
