// Sign-in, users and API tokens, as the HTTP front reaches them. The users layer checks names,
// roles and passwords and logs every change with who made it; a database fault is answered
// as the front's internal error, never as a refusal.

#include "service/service.h"
#include "service/web_port.h"
#include "service/web_values.h"
#include "store/store_error.h"
#include "users/api_tokens.h"
#include "users/names.h"
#include "users/user_admin.h"

namespace kstbell::service {

namespace {

store::TUtcTime NowUtc() {
    return StoreTime(std::chrono::system_clock::now());
}

store::TChange Change(const web::TCaller& caller) {
    return {NowUtc(), caller.Actor(), store::TAuditCause::Http};
}

web::TUserInfo WebUser(const users::TUser& user) {
    web::TUserInfo out;
    out.Name = user.Name;
    out.Role = WebRole(user.Role);
    out.Created = WebTime(user.Created);
    out.PasswordChanged = WebTime(user.PasswordChanged);
    if (user.Disabled) out.Disabled = WebTime(*user.Disabled);
    return out;
}

web::TTokenInfo WebToken(const users::TApiToken& token) {
    web::TTokenInfo out;
    out.Id = token.Id;
    out.User = token.UserName;
    out.Name = token.Name;
    out.Role = WebRole(token.Role);
    out.Acts = WebRole(token.Acts);
    out.UserDisabled = token.UserDisabled;
    out.Created = WebTime(token.Created);
    if (token.LastUsed) out.LastUsed = WebTime(*token.LastUsed);
    return out;
}

web::TFailure StoreFault(const store::TStoreError& e) {
    return web::Fail(web::TErrorKind::Internal, e.what());
}

}  // namespace

web::TLoginAnswer TWebPort::Login(std::string_view user, std::string_view password,
                                  const std::string& client) {
    web::TLoginAnswer answer;
    try {
        const users::TLoginResult result = auth_.Login(user, password, client, NowUtc());
        answer.RetryAfter = result.RetryAfter;
        switch (result.Outcome) {
            case users::TLoginOutcome::LoggedIn:
                if (!result.Session) break;
                answer.Outcome = web::TLoginOutcome::LoggedIn;
                answer.Cookie = result.Session->Cookie;
                answer.Caller.User = result.Session->Session.User.UserName;
                answer.Caller.Role = WebRole(result.Session->Session.User.Role);
                answer.Caller.Csrf = result.Session->Session.Csrf;
                break;
            case users::TLoginOutcome::Refused:
                answer.Outcome = web::TLoginOutcome::Refused;
                break;
            case users::TLoginOutcome::TooSoon:
                answer.Outcome = web::TLoginOutcome::TooSoon;
                break;
        }
    } catch (const store::TStoreError&) {
        answer = {};
        answer.Outcome = web::TLoginOutcome::Unavailable;
    }
    return answer;
}

std::optional<web::TCaller> TWebPort::Session(std::string_view cookie) {
    try {
        const auto session = auth_.Session(cookie, NowUtc());
        if (!session) return std::nullopt;
        web::TCaller caller;
        caller.User = session->User.UserName;
        caller.Role = WebRole(session->User.Role);
        caller.Csrf = session->Csrf;
        return caller;
    } catch (const store::TStoreError&) {
        throw web::TServiceFault(kStoreUnreadable);
    }
}

std::optional<web::TCaller> TWebPort::Token(std::string_view token) {
    try {
        const auto principal = auth_.Token(token, NowUtc());
        if (!principal) return std::nullopt;
        web::TCaller caller;
        caller.User = principal->UserName;
        caller.Role = WebRole(principal->Role);
        caller.TokenId = principal->TokenId;
        caller.TokenName = principal->TokenName;
        return caller;
    } catch (const store::TStoreError&) {
        throw web::TServiceFault(kStoreUnreadable);
    }
}

void TWebPort::Logout(std::string_view cookie) {
    try {
        auth_.Logout(cookie, NowUtc());
    } catch (const store::TStoreError&) {
        // The session was not ended: the browser keeps its cookie and may try again.
        throw web::TServiceFault(kStoreUnreadable);
    }
}

web::TPortStatus TWebPort::ChangeOwnPassword(const web::TCaller& caller, std::string_view current,
                                             std::string_view password) {
    try {
        if (auto refused = users::TUserAdmin(service_.Store())
                               .ChangeOwnPassword(caller.User, current, password, Change(caller)))
            return WebFailure(*refused);
        return std::nullopt;
    } catch (const store::TStoreError& e) {
        return StoreFault(e);
    }
}

std::vector<web::TUserInfo> TWebPort::Users() {
    std::vector<web::TUserInfo> out;
    try {
        for (const auto& user : users::TUserAdmin(service_.Store()).List())
            out.push_back(WebUser(user));
    } catch (const store::TStoreError&) {
        throw web::TServiceFault(kStoreUnreadable);
    }
    return out;
}

web::TPortResult<web::TUserInfo> TWebPort::AddUser(const web::TUserAsk& ask,
                                                   const web::TCaller& caller) {
    try {
        users::TUserAdmin admin(service_.Store());
        if (auto refused = admin.Add(ask.Name, UserRole(ask.Role), ask.Password, Change(caller)))
            return WebFailure(*refused);
        const auto user = admin.Find(ask.Name);
        if (!user) return web::Fail(web::TErrorKind::Internal, "the new user was not found");
        return WebUser(*user);
    } catch (const store::TStoreError& e) {
        return StoreFault(e);
    }
}

web::TPortResult<web::TUserInfo> TWebPort::ChangeUser(const std::string& name,
                                                      const web::TUserChange& change,
                                                      const web::TCaller& caller) {
    try {
        users::TUserAdmin admin(service_.Store());
        if (!admin.Find(name)) return WebFailure(users::NoSuchUser(name));
        // What may be refused is done first, so that a refusal leaves the user as it was: the
        // password is checked before anything changes, and it is set last.
        if (change.Password) {
            if (auto problem = users::PasswordProblem(*change.Password))
                return web::Fail(web::TErrorKind::InvalidInput, *problem);
        }
        users::TRefused refused;
        if (change.Role) refused = admin.SetRole(name, UserRole(*change.Role), Change(caller));
        if (!refused && change.Disabled)
            refused = admin.SetDisabled(name, *change.Disabled, Change(caller));
        if (!refused && change.Password)
            refused = admin.SetPassword(name, *change.Password, Change(caller));
        if (refused) return WebFailure(*refused);
        const auto user = admin.Find(name);
        if (!user) return WebFailure(users::NoSuchUser(name));
        return WebUser(*user);
    } catch (const store::TStoreError& e) {
        return StoreFault(e);
    }
}

web::TPortStatus TWebPort::RemoveUser(const std::string& name, const web::TCaller& caller) {
    try {
        if (auto refused = users::TUserAdmin(service_.Store()).Remove(name, Change(caller)))
            return WebFailure(*refused);
        return std::nullopt;
    } catch (const store::TStoreError& e) {
        return StoreFault(e);
    }
}

std::vector<web::TTokenInfo> TWebPort::Tokens() {
    std::vector<web::TTokenInfo> out;
    try {
        for (const auto& token : users::TApiTokens(service_.Store()).List())
            out.push_back(WebToken(token));
    } catch (const store::TStoreError&) {
        throw web::TServiceFault(kStoreUnreadable);
    }
    return out;
}

web::TPortResult<web::TNewTokenInfo> TWebPort::CreateToken(const web::TTokenAsk& ask,
                                                           const web::TCaller& caller) {
    try {
        users::TApiTokens tokens(service_.Store());
        std::optional<users::TRole> role;
        if (ask.Role) role = UserRole(*ask.Role);
        const auto made = tokens.Create(ask.User.empty() ? caller.User : ask.User, ask.Name, role,
                                        Change(caller));
        if (!made.Ok()) return WebFailure(made.Refusal());
        web::TNewTokenInfo out;
        out.Secret = made.Value().Secret;
        for (const auto& token : tokens.List()) {
            if (token.Id == made.Value().Id) out.Token = WebToken(token);
        }
        return out;
    } catch (const store::TStoreError& e) {
        return StoreFault(e);
    }
}

web::TPortStatus TWebPort::RevokeToken(std::int64_t id, const web::TCaller& caller) {
    try {
        if (auto refused = users::TApiTokens(service_.Store()).Revoke(id, Change(caller)))
            return WebFailure(*refused);
        return std::nullopt;
    } catch (const store::TStoreError& e) {
        return StoreFault(e);
    }
}

}  // namespace kstbell::service
