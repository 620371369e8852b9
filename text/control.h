#pragma once

// Control characters: what no name, label, log line or message may carry as it is, since a
// terminal or a log reader would act on it. A control byte is a C0 control (0x00 to 0x1F, tab
// and newline among them) or DEL (0x7F); a control character is one of those or a C1 control
// (U+0080 to U+009F, which UTF-8 writes as C2 80 to C2 9F).

#include <cstddef>
#include <string>
#include <string_view>

namespace kstbell::text {

constexpr bool IsControlByte(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

constexpr bool IsControlCharacter(char32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0);
}

// Printable ASCII: 0x20 (the space) to 0x7E; control bytes and every byte beyond ASCII are not.
constexpr bool IsPrintableAscii(unsigned char byte) {
    return byte >= 0x20 && byte < 0x7F;
}

bool HasControlByte(std::string_view text);
bool HasControlCharacter(std::string_view text);

// The offset of the first control character (C1 ones as their UTF-8 bytes, at the C2), or
// std::string_view::npos.
std::size_t FirstControlCharacter(std::string_view text);

// The text with each control byte replaced by '?': fit for a log line or a terminal.
std::string MaskControlBytes(std::string text);

}  // namespace kstbell::text
