#include "cli/service_url.h"

#include <cctype>
#include <charconv>

#include "text/host_port.h"

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
    const text::THostPort split = text::SplitHostPort(authority);
    if (split.Bracketed) {
        if (split.Fault == text::EHostPortFault::UnclosedBracket)
            return fail("an IPv6 address without its ']'");
        const std::string inside(split.Host);
        url.Host = "[" + inside + "]";
        if (inside.empty() ||
            inside.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos)
            return fail("'" + url.Host + "' is no IPv6 address");
        if (split.Fault == text::EHostPortFault::TextAfterBracket)
            return fail("text after the IPv6 address");
        if (split.HasPort && split.Port.empty()) return fail("a ':' without a port");
    } else {
        url.Host = std::string(split.Host);
        if (split.HasPort && split.Port.empty()) return fail("a ':' without a port");
        for (char c : url.Host)
            if (!HostCharacter(c)) return fail("'" + url.Host + "' is no host name or address");
    }
    if (url.Host.empty()) return fail("no host");
    url.Port = url.Tls() ? 443 : 80;
    if (split.HasPort) {
        const auto port = text::ParsePort(split.Port, 1);
        if (!port) return fail("the port must be 1 to 65535");
        url.Port = *port;
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
