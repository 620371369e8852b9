#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kstbell {

// The device address as a host-order 32-bit number: dotted decimal with four parts of 0 to
// 255. Leading zeros are read as decimal digits, never as octal.
inline std::optional<std::uint32_t> ParseIpv4Text(const std::string& text) {
    std::uint32_t parts[4] = {};
    int part = 0;
    int digits = 0;
    for (char c : text) {
        if (c == '.') {
            if (digits == 0 || ++part > 3) return std::nullopt;
            digits = 0;
        } else if (c >= '0' && c <= '9') {
            parts[part] = parts[part] * 10 + static_cast<std::uint32_t>(c - '0');
            if (++digits > 3 || parts[part] > 255) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (part != 3 || digits == 0) return std::nullopt;
    return parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3];
}

}  // namespace kstbell
