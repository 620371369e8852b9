// Sign-in: a login makes a browser session (cookie and CSRF token), which the page asks about
// and ends.

#include "web/api_inputs.h"
#include "web/api_routes.h"
#include "web/api_schemas.h"
#include "web/credentials.h"
#include "web/json_views.h"

namespace kstbell::web {

namespace {

TApiResponse Login(const TApiRequest& r) {
    const auto answer = r.Service.Login(r.Body.at("user").get<std::string>(),
                                        r.Body.at("password").get<std::string>(), r.Client);
    switch (answer.Outcome) {
        case TLoginOutcome::LoggedIn: {
            auto out = JsonAnswer(ToJson(answer.Caller));
            out.Headers.emplace_back("Set-Cookie", SessionSetCookie(answer.Cookie, r.Tls));
            return out;
        }
        case TLoginOutcome::TooSoon:
            return ErrorAnswer({TErrorKind::RateLimited,
                                "too many failed logins; try again in " +
                                    std::to_string(answer.RetryAfter.count()) + " s",
                                answer.RetryAfter});
        case TLoginOutcome::Unavailable:
            return ErrorAnswer(Fail(TErrorKind::Internal,
                                    "the database cannot be read; the service's log says why"));
        case TLoginOutcome::Refused:
            break;
    }
    TFailure refused = Fail(TErrorKind::Unauthenticated, "wrong user name or password");
    if (answer.RetryAfter.count() > 0) refused.RetryAfter = answer.RetryAfter;
    return ErrorAnswer(refused);
}

TApiResponse WhoAmI(const TApiRequest& r) {
    return JsonAnswer(ToJson(*r.Caller));
}

// A token is not a session: it goes on working until it is revoked, so a logout with one is
// refused rather than answered as if something had ended.
TApiResponse Logout(const TApiRequest& r) {
    if (r.Caller->TokenId) {
        return ErrorAnswer(Fail(TErrorKind::InvalidInput,
                                "an API token is not a session and logging out does not end it; "
                                "revoke it with DELETE " +
                                    std::string(kApiPrefix) + "/tokens/" +
                                    std::to_string(*r.Caller->TokenId)));
    }
    auto out = NoContent();
    if (!r.Caller->TokenId && r.Cookie) {
        r.Service.Logout(*r.Cookie);
        out.Headers.emplace_back("Set-Cookie", SessionClearCookie(r.Tls));
    }
    return out;
}

// The caller's own password: a new password ends the user's sessions, this one's too, so the
// answer also clears the cookie.
TApiResponse ChangeOwnPassword(const TApiRequest& r) {
    if (auto failure =
            r.Service.ChangeOwnPassword(*r.Caller, r.Body.at("current").get<std::string>(),
                                        r.Body.at("password").get<std::string>())) {
        return ErrorAnswer(*failure);
    }
    auto out = NoContent();
    if (!r.Caller->TokenId && r.Cookie)
        out.Headers.emplace_back("Set-Cookie", SessionClearCookie(r.Tls));
    return out;
}

}  // namespace

void AddSessionRoutes(std::vector<TRoute>& routes) {
    const std::string path = std::string(kApiPrefix) + "/session";
    routes.push_back(
        {.Method = "POST",
         .Path = path,
         .Access = TAccess::Public,
         .Handler = Login,
         .Doc = {.Tag = "session",
                 .Summary = "Log in",
                 .Description = "Checks the name and password and starts a browser session: "
                                "the answer sets the session cookie (HttpOnly, SameSite=Strict, "
                                "Secure over HTTPS) and gives the CSRF token that every change "
                                "made with the cookie must send as X-CSRF-Token. Failed logins "
                                "are rate limited per address and per name.",
                 .Body = LoginFields(),
                 .Response = Ref("Caller"),
                 .Errors = {TErrorKind::Unauthenticated, TErrorKind::RateLimited}}});
    routes.push_back({.Method = "GET",
                      .Path = path,
                      .Access = TAccess::View,
                      .Handler = WhoAmI,
                      .Doc = {.Tag = "session",
                              .Summary = "Who am I",
                              .Description = "The user and role of the session or token the "
                                             "request came with, and a session's CSRF token.",
                              .Response = Ref("Caller")}});
    routes.push_back({.Method = "DELETE",
                      .Path = path,
                      .Access = TAccess::View,
                      .Handler = Logout,
                      .Doc = {.Tag = "session",
                              .Summary = "Log out",
                              .Description = "Ends the session and clears its cookie. A "
                                             "request with an API token is refused: revoke the "
                                             "token with DELETE /api/v1/tokens/{id}.",
                              .Status = 204,
                              .Errors = {TErrorKind::InvalidInput}}});
    routes.push_back({.Method = "POST",
                      .Path = path + "/password",
                      .Access = TAccess::View,
                      .Handler = ChangeOwnPassword,
                      .Doc = {.Tag = "session",
                              .Summary = "Change my own password",
                              .Description = "Any user, with the current password. The new "
                                             "password ends every session of the user, this "
                                             "one's too: log in again with it.",
                              .Body = OwnPasswordFields(),
                              .Status = 204,
                              .Errors = {TErrorKind::InvalidInput}}});
}

}  // namespace kstbell::web
