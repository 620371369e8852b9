#include "web/http_config.h"

#include <arpa/inet.h>

#include <charconv>

namespace kstbell::web {

std::optional<TListen> ParseListen(std::string_view text, std::string& error) {
    std::string_view host;
    std::string_view port;
    bool v6 = false;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            error = "an IPv6 address is written [address]:port";
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
        v6 = true;
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string_view::npos) {
            error = "must be address:port";
            return std::nullopt;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.find(':') != std::string_view::npos) {
            error = "an IPv6 address is written [address]:port";
            return std::nullopt;
        }
    }
    const std::string hostText(host);
    unsigned char buffer[16];
    if (inet_pton(v6 ? AF_INET6 : AF_INET, hostText.c_str(), buffer) != 1) {
        error = "'" + hostText + "' is not an IP" + (v6 ? "v6" : "v4") + " address";
        return std::nullopt;
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || ec != std::errc() || end != port.data() + port.size() || value > 65535) {
        error = "the port must be a number from 0 to 65535";
        return std::nullopt;
    }
    return TListen{hostText, static_cast<std::uint16_t>(value)};
}

std::string ListenText(const TListen& listen) {
    const bool v6 = listen.Host.find(':') != std::string::npos;
    return (v6 ? "[" + listen.Host + "]" : listen.Host) + ":" + std::to_string(listen.Port);
}

}  // namespace kstbell::web
