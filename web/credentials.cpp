#include "web/credentials.h"

#include <openssl/crypto.h>

#include "web/header_text.h"

namespace kstbell::web {

namespace {

// Visible ASCII without separators that have a meaning in these headers.
bool TokenText(std::string_view s) {
    if (s.empty() || s.size() > kMaxCredentialBytes) return false;
    for (const char c : s) {
        if (c <= ' ' || c > '~' || c == ';' || c == ',' || c == '"' || c == '\\') return false;
    }
    return true;
}

std::string CookieAttributes(bool tls) {
    return std::string("; Path=/; HttpOnly; SameSite=Strict") + (tls ? "; Secure" : "");
}

}  // namespace

std::optional<std::string> SessionCookie(const std::vector<std::string>& cookieHeaders) {
    for (const auto& header : cookieHeaders) {
        std::string_view rest = header;
        while (!rest.empty()) {
            const auto semicolon = rest.find(';');
            const auto pair = TrimBlanks(rest.substr(0, semicolon));
            rest = semicolon == std::string_view::npos ? std::string_view()
                                                       : rest.substr(semicolon + 1);
            const auto equals = pair.find('=');
            if (equals == std::string_view::npos) continue;
            if (TrimBlanks(pair.substr(0, equals)) != kSessionCookie) continue;
            auto value = TrimBlanks(pair.substr(equals + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            if (!TokenText(value)) return std::nullopt;
            return std::string(value);
        }
    }
    return std::nullopt;
}

TBearer BearerToken(const std::vector<std::string>& authorizationHeaders) {
    TBearer out;
    if (authorizationHeaders.empty()) return out;
    out.Present = true;
    if (authorizationHeaders.size() > 1) {
        out.Problem = "more than one Authorization header";
        return out;
    }
    const auto value = TrimBlanks(authorizationHeaders.front());
    const auto space = value.find(' ');
    if (space == std::string_view::npos || !EqualsNoCase(value.substr(0, space), "Bearer")) {
        out.Problem = "only 'Authorization: Bearer TOKEN' is accepted";
        return out;
    }
    const auto token = TrimBlanks(value.substr(space + 1));
    if (!TokenText(token)) {
        out.Problem = "the bearer token is malformed";
        return out;
    }
    out.Token = std::string(token);
    return out;
}

std::string SessionSetCookie(std::string_view value, bool tls) {
    return std::string(kSessionCookie) + "=" + std::string(value) + CookieAttributes(tls);
}

std::string SessionClearCookie(bool tls) {
    return std::string(kSessionCookie) + "=; Max-Age=0" + CookieAttributes(tls);
}

bool SameSecret(std::string_view a, std::string_view b) {
    if (a.size() != b.size() || a.empty()) return false;
    return CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace kstbell::web
