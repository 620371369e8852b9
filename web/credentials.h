#pragma once

// The credentials a request carries, read from its headers: the session cookie (from any
// Cookie header) or an API token (Authorization: Bearer), and the Set-Cookie values the front
// answers a login and a logout with. Nothing here keeps or logs a value.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kstbell::web {

inline constexpr const char* kSessionCookie = "kstbell_session";
inline constexpr const char* kCsrfHeader = "X-CSRF-Token";
// Longer credentials are refused without a look-up.
inline constexpr std::size_t kMaxCredentialBytes = 512;

// The first session cookie's value among the Cookie headers, if any.
std::optional<std::string> SessionCookie(const std::vector<std::string>& cookieHeaders);

struct TBearer {
    bool Present = false;  // an Authorization header was sent
    std::string Token;     // its token, when it is a well-formed Bearer header
    std::string Problem;   // otherwise: what is wrong with it
};

TBearer BearerToken(const std::vector<std::string>& authorizationHeaders);

// The cookie a login sets: HttpOnly, SameSite=Strict, path /, Secure over TLS.
std::string SessionSetCookie(std::string_view value, bool tls);
// The cookie a logout sets: the same, empty, expired.
std::string SessionClearCookie(bool tls);

// Whether two secrets are equal, in time that depends only on their lengths.
bool SameSecret(std::string_view a, std::string_view b);

}  // namespace kstbell::web
