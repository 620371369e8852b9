#pragma once

// What a front asks about who is at the other end: a login with name and password (rate
// limited, see login_throttle.h), a session cookie, an API token, a logout. Safe to call from
// several threads at once. Reads no clock: every call takes the time.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "store/store.h"
#include "users/api_tokens.h"
#include "users/login_throttle.h"
#include "users/principal.h"
#include "users/sessions.h"

namespace kstbell::users {

enum class TLoginOutcome {
    LoggedIn,
    Refused,  // wrong name or password, or the user is disabled: the same answer for all
    TooSoon,  // too many failures from this address or for this name: retry after
};

struct TLoginResult {
    TLoginOutcome Outcome = TLoginOutcome::Refused;
    std::optional<TNewSession> Session;  // when logged in
    // Refused or too soon: how long before another attempt is let through (zero: at once).
    std::chrono::seconds RetryAfter{0};
};

class TAuthenticator {
  public:
    TAuthenticator(store::TStore& store, TSessionPolicy sessions = {},
                   TThrottlePolicy throttle = {});

    // Checks the password (about as long whether the name exists or not) and starts a
    // session. Failures are logged with the user's name only when it is a user's: a name
    // typed wrongly may be a password. Throws TStoreError.
    TLoginResult Login(std::string_view name, std::string_view password, const std::string& client,
                       store::TUtcTime now);

    std::optional<TSession> Session(std::string_view cookie, store::TUtcTime now) {
        return sessions_.Check(cookie, now);
    }
    std::optional<TPrincipal> Token(std::string_view token, store::TUtcTime now) {
        return tokens_.Verify(token, now);
    }
    bool Logout(std::string_view cookie, store::TUtcTime now) {
        return sessions_.End(cookie, now, store::TAuditCause::Http);
    }

  private:
    store::TStore& store_;
    TSessions sessions_;
    TApiTokens tokens_;
    TLoginThrottle throttle_;
};

}  // namespace kstbell::users
