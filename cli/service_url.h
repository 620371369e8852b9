#pragma once

// The site service's address as given to --service: http:// or https://, a host (a name, an
// IPv4 address or a bracketed IPv6 one), an optional port and an optional path the API lies
// under (a service behind a reverse proxy at /kstbell).

#include <optional>
#include <string>

namespace kstbell::cli {

struct TServiceUrl {
    std::string Scheme;    // "http" or "https"
    std::string Host;      // as typed, IPv6 with its brackets
    int Port = 0;          // 80 or 443 when none was typed
    std::string BasePath;  // "" or "/kstbell", never ending in '/'

    bool Tls() const { return Scheme == "https"; }
    // "https://host:port", what the HTTP client is made from.
    std::string Origin() const { return Scheme + "://" + Host + ":" + std::to_string(Port); }
    // The service as given, for reports: the origin and the path.
    std::string Name() const { return Origin() + BasePath; }
    // Whether the host is this computer (localhost, 127.0.0.0/8, ::1): a token may travel
    // unencrypted only there.
    bool Loopback() const;
};

// Nothing, with the reason, for any other scheme, a user name or password in it (the token
// file holds the credential), a query or fragment, or a port out of range.
std::optional<TServiceUrl> ParseServiceUrl(const std::string& text, std::string& error);

}  // namespace kstbell::cli
