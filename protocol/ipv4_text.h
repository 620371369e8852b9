#pragma once

#include <cstddef>
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

// The usual spelling of an address whose four dot-separated parts are decimal numbers from 0
// to 255, leading zeros allowed and dropped: 192.168.077.001 is 192.168.77.1. Nothing for any
// other text.
inline std::optional<std::string> CanonicalIpv4Text(const std::string& text) {
    std::string canonical;
    std::uint32_t value = 0;
    int parts = 0;
    bool digits = false;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (!digits || ++parts > 4) return std::nullopt;
            canonical += (parts > 1 ? "." : "") + std::to_string(value);
            value = 0;
            digits = false;
        } else if (text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
            if (value > 255) return std::nullopt;
            digits = true;
        } else {
            return std::nullopt;
        }
    }
    if (parts != 4) return std::nullopt;
    return canonical;
}

}  // namespace kstbell
