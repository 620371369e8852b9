#pragma once

// The HTTP front's settings: the [http] table of the site file, as values. The service's site
// file reader fills it (every mistake by line and key); ParseListen is the one check of the
// listen address that both use.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kstbell::web {

inline constexpr const char* kDefaultListen = "127.0.0.1:8786";

struct TListen {
    std::string Host{};  // an IPv4 or IPv6 address, without brackets
    std::uint16_t Port = 8786;
    bool operator==(const TListen&) const = default;
};

struct THttpConfig {
    TListen Listen{"127.0.0.1", 8786};
    // Both or neither: with them the front speaks HTTPS only.
    std::string TlsCert{};
    std::string TlsKey{};
    bool MetricsPublic = false;  // /metrics readable without credentials
    std::chrono::minutes SessionIdle{720};
    std::size_t MaxBodyBytes = 65536;
    std::size_t EventStreams = 200;  // open event streams at most; more get 503
    // Open connections per client address, those of event streams aside; more are closed at
    // once. A proxy in front of the service, or a load test, is one address for many clients.
    std::size_t ConnectionsPerClient = 16;
    // Host names the front answers to besides its address (and localhost on loopback); a
    // request naming another host gets 421.
    std::vector<std::string> Names{};

    bool Tls() const { return !TlsCert.empty(); }
};

// "127.0.0.1:8786", "[::1]:8786", "0.0.0.0:443": an address (IPv6 in brackets) and a port
// 0..65535 (0: any free port). Nothing, with the reason in error, otherwise.
std::optional<TListen> ParseListen(std::string_view text, std::string& error);

// "127.0.0.1:8786", "[::1]:8786".
std::string ListenText(const TListen& listen);

}  // namespace kstbell::web
