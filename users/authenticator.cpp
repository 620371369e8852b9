#include "users/authenticator.h"

#include "users/names.h"
#include "users/password_hash.h"

namespace kstbell::users {

TAuthenticator::TAuthenticator(store::TStore& store, TSessionPolicy sessions,
                               TThrottlePolicy throttle)
    : store_(store), sessions_(store, sessions), tokens_(store), throttle_(throttle) {}

TLoginResult TAuthenticator::Login(std::string_view name, std::string_view password,
                                   const std::string& client, store::TUtcTime now) {
    // A name longer than any user's is counted under its start: it still fails, and a flood
    // of long names holds no more memory than short ones.
    name = name.substr(0, kMaxNameBytes + 1);
    if (const auto wait = throttle_.Attempt(client, name, now); wait.count() > 0) {
        return {TLoginOutcome::TooSoon, std::nullopt, wait};
    }
    const auto user = store_.Users().Find(name);
    bool right = false;
    if (user) {
        right = VerifyPassword(user->PasswordHash, password);
    } else {
        VerifyNobody(password);
    }
    if (!right || user->Disabled) {
        std::string detail =
            user ? (right ? "user disabled; " : "wrong password; ") : "no such user; ";
        store_.Log().Append({.At = now,
                             .Kind = store::TAuditKind::LoginFailed,
                             .Cause = store::TAuditCause::Http,
                             .Actor = user ? user->Name : std::string(),
                             .Detail = detail + "from " + client});
        return {TLoginOutcome::Refused, std::nullopt, throttle_.Wait(client, name, now)};
    }
    throttle_.Succeeded(client, name, now);
    if (NeedsRehash(user->PasswordHash)) {
        store_.Users().ReplacePasswordHash(user->Id, user->PasswordHash, HashPassword(password));
    }
    auto session = sessions_.Start(user->Id, client, now);
    if (!session) return {TLoginOutcome::Refused, std::nullopt, std::chrono::seconds(0)};
    return {TLoginOutcome::LoggedIn, std::move(session), std::chrono::seconds(0)};
}

}  // namespace kstbell::users
