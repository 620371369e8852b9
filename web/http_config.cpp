#include "web/http_config.h"

#include <arpa/inet.h>

#include "text/host_port.h"

namespace kstbell::web {

std::optional<TListen> ParseListen(std::string_view text, std::string& error) {
    const text::THostPort split = text::SplitHostPort(text);
    const bool v6 = split.Bracketed;
    // Unbracketed, a second ':' (in what follows the first) means an IPv6 address.
    if ((v6 && (split.Fault != text::EHostPortFault::None || !split.HasPort)) ||
        (!v6 && split.Port.find(':') != std::string_view::npos)) {
        error = "an IPv6 address is written [address]:port";
        return std::nullopt;
    }
    if (!split.HasPort) {
        error = "must be address:port";
        return std::nullopt;
    }
    const std::string hostText(split.Host);
    unsigned char buffer[16];
    if (inet_pton(v6 ? AF_INET6 : AF_INET, hostText.c_str(), buffer) != 1) {
        error = "'" + hostText + "' is not an IP" + (v6 ? "v6" : "v4") + " address";
        return std::nullopt;
    }
    const auto port = text::ParsePort(split.Port, 0);
    if (!port) {
        error = "the port must be a number from 0 to 65535";
        return std::nullopt;
    }
    return TListen{hostText, *port};
}

std::string ListenText(const TListen& listen) {
    const bool v6 = listen.Host.find(':') != std::string::npos;
    return (v6 ? "[" + listen.Host + "]" : listen.Host) + ":" + std::to_string(listen.Port);
}

}  // namespace kstbell::web
