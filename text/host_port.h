#pragma once

// HOST[:PORT] as URLs and listen addresses write it: a name or IPv4 address, or an IPv6 address
// in brackets ("[::1]:8786"). The split and the port's number only: each caller checks the host
// its own way and words its own messages.

#include <cstdint>
#include <optional>
#include <string_view>

namespace kstbell::text {

enum class EHostPortFault {
    None,
    UnclosedBracket,   // "[::1" (nothing else is filled in)
    TextAfterBracket,  // "[::1]x": Host is filled in, no port
};

struct THostPort {
    std::string_view Host;  // without the brackets
    bool Bracketed = false;
    bool HasPort = false;   // a ':' follows the host
    std::string_view Port;  // the text after that ':', maybe empty or more than digits
    EHostPortFault Fault = EHostPortFault::None;
};

// Without brackets the host ends at the first ':'; everything after it is the port's text.
THostPort SplitHostPort(std::string_view text);

// Decimal digits only, lowest to 65535.
std::optional<std::uint16_t> ParsePort(std::string_view text, unsigned lowest);

}  // namespace kstbell::text
