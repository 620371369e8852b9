#include "text/control.h"

#include <algorithm>

namespace kstbell::text {

bool HasControlByte(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return IsControlByte(static_cast<unsigned char>(c)); });
}

std::size_t FirstControlCharacter(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (IsControlByte(byte)) return i;
        if (byte == 0xC2 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9F) return i;
        }
    }
    return std::string_view::npos;
}

bool HasControlCharacter(std::string_view text) {
    return FirstControlCharacter(text) != std::string_view::npos;
}

std::string MaskControlBytes(std::string text) {
    for (char& c : text)
        if (IsControlByte(static_cast<unsigned char>(c))) c = '?';
    return text;
}

}  // namespace kstbell::text
