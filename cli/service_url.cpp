#include "cli/service_url.h"

#include <cctype>
#include <charconv>

namespace kstbell::cli {

namespace {

bool HostCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

// Each path segment's characters: unreserved, sub-delims, ':' '@' and '%' escapes.
bool PathCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("-._~!$&'()*+,;=:@%/").find(c) != std::string_view::npos;
}

}  // namespace

bool TServiceUrl::Loopback() const {
    if (Host == "localhost" || Host == "[::1]") return true;
    // 127.x.y.z written as a dotted quad.
    if (Host.rfind("127.", 0) != 0) return false;
    int parts = 0;
    for (std::size_t at = 0; at <= Host.size();) {
        const auto dot = std::min(Host.find('.', at), Host.size());
        int value = -1;
        const auto [end, ec] = std::from_chars(Host.data() + at, Host.data() + dot, value);
        if (ec != std::errc() || end != Host.data() + dot || value > 255) return false;
        ++parts;
        at = dot + 1;
    }
    return parts == 4;
}

std::optional<TServiceUrl> ParseServiceUrl(const std::string& text, std::string& error) {
    TServiceUrl url;
    const auto fail = [&](const std::string& why) {
        error = "--service " + text + ": " + why;
        return std::nullopt;
    };
    const auto colon = text.find("://");
    if (colon == std::string::npos) return fail("give the URL with http:// or https://");
    for (char c : text.substr(0, colon))
        url.Scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (url.Scheme != "http" && url.Scheme != "https")
        return fail("only http:// and https:// are spoken");
    const std::string rest = text.substr(colon + 3);
    if (rest.find_first_of("?#") != std::string::npos)
        return fail("a query or fragment has no place in it");
    const auto slash = std::min(rest.find('/'), rest.size());
    const std::string authority = rest.substr(0, slash);
    if (authority.find('@') != std::string::npos)
        return fail("no user or password in the URL: the token file holds the credential");
    std::string port;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string::npos) return fail("an IPv6 address without its ']'");
        url.Host = authority.substr(0, close + 1);
        const std::string inside = url.Host.substr(1, url.Host.size() - 2);
        if (inside.empty() ||
            inside.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos)
            return fail("'" + url.Host + "' is no IPv6 address");
        const std::string after = authority.substr(close + 1);
        if (!after.empty() && after.front() != ':') return fail("text after the IPv6 address");
        if (!after.empty()) port = after.substr(1);
        if (!after.empty() && port.empty()) return fail("a ':' without a port");
    } else {
        const auto portColon = authority.find(':');
        url.Host = authority.substr(0, portColon);
        if (portColon != std::string::npos) {
            port = authority.substr(portColon + 1);
            if (port.empty()) return fail("a ':' without a port");
        }
        for (char c : url.Host)
            if (!HostCharacter(c)) return fail("'" + url.Host + "' is no host name or address");
    }
    if (url.Host.empty()) return fail("no host");
    url.Port = url.Tls() ? 443 : 80;
    if (!port.empty()) {
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), url.Port);
        if (ec != std::errc() || end != port.data() + port.size() || url.Port < 1 ||
            url.Port > 65535)
            return fail("the port must be 1 to 65535");
    }
    std::string path = rest.substr(slash);
    for (char c : path)
        if (!PathCharacter(c)) return fail("the path may hold no spaces or control characters");
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    url.BasePath = path;
    return url;
}

}  // namespace kstbell::cli
