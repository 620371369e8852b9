#include "sim/sim_log.h"

#include <cstdio>

#include "text/control.h"

namespace kstbell::sim {

namespace {
constexpr char kHex[] = "0123456789ABCDEF";
}  // namespace

void TSimLog::Line(const std::string& text) const {
    if (!enabled_) return;
    // One call per line keeps lines whole when other threads write to stderr too.
    std::fprintf(stderr, "kstbell-sim: %s%s\n", prefix_.c_str(), text.c_str());
}

std::string FormatBytes(std::span<const std::uint8_t> bytes, std::size_t limit) {
    std::string text = std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte" : " bytes");
    if (!bytes.empty()) text += ':';
    const std::size_t shown = bytes.size() < limit ? bytes.size() : limit;
    for (std::size_t i = 0; i < shown; ++i) {
        text += ' ';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
    }
    if (shown < bytes.size()) text += " ...";
    return text;
}

std::string FormatCode(std::uint8_t code) {
    return std::to_string(code) + " (0x" + kHex[code >> 4] + kHex[code & 0x0F] + ")";
}

std::string EscapeForLog(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                escaped += "\\\\";
                continue;
            case '\n':
                escaped += "\\n";
                continue;
            case '\r':
                escaped += "\\r";
                continue;
            case '\t':
                escaped += "\\t";
                continue;
            default:
                break;
        }
        if (text::IsPrintableAscii(byte)) {
            escaped += c;
        } else {
            escaped += "\\x";
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0x0F];
        }
    }
    return escaped;
}

}  // namespace kstbell::sim
