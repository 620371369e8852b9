#include "sim/sim_log.h"

#include <cstdio>

namespace kstbell::sim {

void TSimLog::Line(const std::string& text) const {
    if (!enabled_) return;
    // One call per line keeps lines whole when other threads write to stderr too.
    std::fprintf(stderr, "kstbell-sim: %s\n", text.c_str());
}

std::string FormatBytes(std::span<const std::uint8_t> bytes, std::size_t limit) {
    static constexpr char kHex[] = "0123456789ABCDEF";
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
    static constexpr char kHex[] = "0123456789ABCDEF";
    return std::to_string(code) + " (0x" + kHex[code >> 4] + kHex[code & 0x0F] + ")";
}

}  // namespace kstbell::sim
