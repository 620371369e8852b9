#include "text/host_port.h"

#include <charconv>

namespace kstbell::text {

THostPort SplitHostPort(std::string_view text) {
    THostPort out;
    std::string_view after;
    if (!text.empty() && text.front() == '[') {
        out.Bracketed = true;
        const auto close = text.find(']');
        if (close == std::string_view::npos) {
            out.Fault = EHostPortFault::UnclosedBracket;
            return out;
        }
        out.Host = text.substr(1, close - 1);
        after = text.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            out.Fault = EHostPortFault::TextAfterBracket;
            return out;
        }
    } else {
        const auto colon = text.find(':');
        out.Host = text.substr(0, colon);
        if (colon != std::string_view::npos) after = text.substr(colon);
    }
    if (!after.empty()) {
        out.HasPort = true;
        out.Port = after.substr(1);
    }
    return out;
}

std::optional<std::uint16_t> ParsePort(std::string_view text, unsigned lowest) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < lowest ||
        value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

}  // namespace kstbell::text
