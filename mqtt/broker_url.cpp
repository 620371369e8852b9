#include <charconv>

#include "mqtt/config.h"

namespace kstbell::mqtt {

bool ParseBrokerUrl(const std::string& text, TBrokerUrl& url, std::string& error) {
    if (const auto at = text.rfind('@'); at != std::string::npos) {
        // Not echoed whole: the text before the @ may be a password.
        const auto scheme = text.find("://");
        error = "broker URL \"" + (scheme == std::string::npos ? "" : text.substr(0, scheme + 3)) +
                "...@" + text.substr(at + 1) +
                "\": a user name or password does not belong in the URL; give them as username "
                "and password_file in the configuration file";
        return false;
    }
    TBrokerUrl parsed;
    std::string rest;
    if (text.rfind("mqtt://", 0) == 0) {
        rest = text.substr(7);
    } else if (text.rfind("mqtts://", 0) == 0) {
        parsed.Tls = true;
        parsed.Port = 8883;
        rest = text.substr(8);
    } else {
        error = "broker URL \"" + text + "\" must start with mqtt:// or mqtts://";
        return false;
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();

    std::string port;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos) {
            error = "broker URL \"" + text + "\": unclosed [";
            return false;
        }
        parsed.Host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            error = "broker URL \"" + text + "\": unexpected text after ]";
            return false;
        }
        if (!after.empty()) port = after.substr(1);
        if (after == ":") port = ":";
    } else {
        const auto colon = rest.find(':');
        parsed.Host = rest.substr(0, colon);
        if (colon != std::string::npos)
            port = colon + 1 < rest.size() ? rest.substr(colon + 1) : ":";
    }
    if (parsed.Host.empty() || parsed.Host.find_first_of("/@?# ") != std::string::npos) {
        error = "broker URL \"" + text + "\" has no usable host";
        return false;
    }
    if (!port.empty()) {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
            error = "broker URL \"" + text + "\": port must be 1 to 65535";
            return false;
        }
        parsed.Port = static_cast<std::uint16_t>(value);
    }
    url = parsed;
    return true;
}

}  // namespace kstbell::mqtt
