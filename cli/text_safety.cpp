#include "cli/text_safety.h"

#include <cstdint>

#include "text/control.h"
#include "text/utf8.h"

namespace kstbell::cli {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

void AppendHexByte(std::string& out, std::uint8_t b) {
    constexpr const char* kDigits = "0123456789abcdef";
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    while (!bytes.empty()) {
        char32_t cp = 0;
        const std::size_t n = text::Utf8SequenceAt(bytes, cp);
        if (n == 0) return false;
        bytes.remove_prefix(n);
    }
    return true;
}

std::string ToValidUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        char32_t cp = 0;
        const std::size_t n = text::Utf8SequenceAt(bytes, cp);
        if (n == 0) {
            out += kReplacement;
            bytes.remove_prefix(1);
        } else {
            out.append(bytes.substr(0, n));
            bytes.remove_prefix(n);
        }
    }
    return out;
}

std::string EscapeForTerminal(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        char32_t cp = 0;
        const std::size_t n = text::Utf8SequenceAt(bytes, cp);
        const bool control = text::IsControlCharacter(cp);
        if (n == 1 && cp == '\\') {
            out += "\\\\";
        } else if (n != 0 && !control) {
            out.append(bytes.substr(0, n));
        } else {
            // A control character, or a byte that starts no UTF-8 sequence: each byte shown.
            const std::size_t shown = n == 0 ? 1 : n;
            for (std::size_t i = 0; i < shown; ++i) {
                out += "\\x";
                AppendHexByte(out, static_cast<std::uint8_t>(bytes[i]));
            }
            bytes.remove_prefix(shown);
            continue;
        }
        bytes.remove_prefix(n);
    }
    return out;
}

std::string HexOf(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes)
        AppendHexByte(out, static_cast<std::uint8_t>(c));
    return out;
}

std::optional<std::string> BytesOfHex(std::string_view hex) {
    const auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = nibble(hex[i]);
        const int lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi << 4 | lo);
    }
    return out;
}

std::string QuotedForTerminal(std::string_view bytes) {
    return "\"" + EscapeForTerminal(bytes) + "\"";
}

}  // namespace kstbell::cli
