#include "protocol/convert.h"

namespace kstbell {

std::int32_t StrToInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) throw TConversionError(text);
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            throw TConversionError(text);
        value = value * base + digit;
        if (value > std::int64_t{1} << 32) throw TConversionError(text);
    }
    if (negative) value = -value;
    // Hexadecimal spellings may name the full 32-bit pattern, as the usual conversion allows.
    if (base == 16 && value > INT32_MAX && value <= UINT32_MAX) value -= std::int64_t{1} << 32;
    if (value < INT32_MIN || value > INT32_MAX) throw TConversionError(text);
    return static_cast<std::int32_t>(value);
}

}  // namespace kstbell
