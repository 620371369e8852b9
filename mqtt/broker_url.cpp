#include "mqtt/config.h"
#include "text/host_port.h"

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

    const text::THostPort split = text::SplitHostPort(rest);
    if (split.Fault == text::EHostPortFault::UnclosedBracket) {
        error = "broker URL \"" + text + "\": unclosed [";
        return false;
    }
    if (split.Fault == text::EHostPortFault::TextAfterBracket) {
        error = "broker URL \"" + text + "\": unexpected text after ]";
        return false;
    }
    parsed.Host = std::string(split.Host);
    if (parsed.Host.empty() || parsed.Host.find_first_of("/@?# ") != std::string::npos) {
        error = "broker URL \"" + text + "\" has no usable host";
        return false;
    }
    if (split.HasPort) {
        const auto port = text::ParsePort(split.Port, 1);
        if (!port) {
            error = "broker URL \"" + text + "\": port must be 1 to 65535";
            return false;
        }
        parsed.Port = *port;
    }
    url = parsed;
    return true;
}

}  // namespace kstbell::mqtt
