#include "protocol/format_characters.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>

#include "text/utf8.h"

namespace kstbell {

namespace {

struct TCodeRange {
    char32_t First;
    char32_t Last;
};

// General category Cf, in order.
constexpr TCodeRange kFormatRanges[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},
    {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},
    {0x200B, 0x200F},   {0x202A, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
    {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
    {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

}  // namespace

bool IsFormatCharacter(char32_t codePoint) {
    const auto* range =
        std::upper_bound(std::begin(kFormatRanges), std::end(kFormatRanges), codePoint,
                         [](char32_t c, const TCodeRange& r) { return c < r.First; });
    return range != std::begin(kFormatRanges) && codePoint <= std::prev(range)->Last;
}

std::optional<TFormatCharacterAt> FindFormatCharacter(std::string_view utf8) {
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t codePoint = 0;
        const std::size_t length = text::Utf8SequenceAt(utf8.substr(pos), codePoint);
        if (length != 0 && IsFormatCharacter(codePoint))
            return TFormatCharacterAt{codePoint, pos + 1};
        pos += length != 0 ? length : 1;
    }
    return std::nullopt;
}

std::optional<std::string> FormatCharacterText(std::string_view utf8) {
    const auto found = FindFormatCharacter(utf8);
    if (!found) return std::nullopt;
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(found->CodePoint));
    return "an invisible format character (zero-width or direction mark): " + std::string(code) +
           " at byte " + std::to_string(found->Byte);
}

}  // namespace kstbell
