#include "store/clean_text.h"

#include <algorithm>

namespace kstbell::store {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence that starts at pos, or 0 when none does there
// (stray continuation bytes, overlong forms, surrogates, values above U+10FFFF, cut tails).
std::size_t SequenceLength(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

std::string CleanText(std::string_view text, std::size_t maxBytes) {
    std::string clean;
    clean.reserve(std::min(text.size(), maxBytes));
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = SequenceLength(text, pos);
        const std::string_view piece = length ? text.substr(pos, length) : kReplacement;
        if (clean.size() + piece.size() > maxBytes) break;
        clean.append(piece);
        pos += length ? length : 1;
    }
    return clean;
}

}  // namespace kstbell::store
