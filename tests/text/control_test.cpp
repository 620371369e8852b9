// Control bytes (C0 and DEL), control characters (those and C1) and printable ASCII, and the
// text helpers built on them.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "text/control.h"

namespace kstbell::text::test {
namespace {

TEST(TextControl, EachCharacterIsClassified) {
    struct TCase {
        char32_t CodePoint;
        bool ControlByte;  // as a byte, for code points below 0x100
        bool ControlCharacter;
        bool PrintableAscii;
    };
    const TCase cases[] = {
        {0x00, true, true, false},   {'\t', true, true, false},   {'\n', true, true, false},
        {0x1F, true, true, false},   {' ', false, false, true},   {'a', false, false, true},
        {'~', false, false, true},   {0x7F, true, true, false},   {0x80, false, true, false},
        {0x9F, false, true, false},  {0xA0, false, false, false}, {0xC2, false, false, false},
        {0xFF, false, false, false},
    };
    for (const auto& c : cases) {
        const auto byte = static_cast<unsigned char>(c.CodePoint);
        const auto shown = static_cast<std::uint32_t>(c.CodePoint);
        EXPECT_EQ(IsControlByte(byte), c.ControlByte) << std::hex << shown;
        EXPECT_EQ(IsControlCharacter(c.CodePoint), c.ControlCharacter) << std::hex << shown;
        EXPECT_EQ(IsPrintableAscii(byte), c.PrintableAscii) << std::hex << shown;
    }
    EXPECT_FALSE(IsControlCharacter(0x2028));
    EXPECT_FALSE(IsControlCharacter(0x10FFFF));
}

TEST(TextControl, TextsAreSearchedAndMasked) {
    struct TCase {
        std::string Text;
        bool HasByte;
        std::size_t FirstCharacter;
        std::string Masked;
    };
    constexpr auto none = std::string::npos;
    const TCase cases[] = {
        {"", false, none, ""},
        {"Hall 2 \xC3\xA9t\xC3\xA9", false, none, "Hall 2 \xC3\xA9t\xC3\xA9"},
        {"a\tb", true, 1, "a?b"},
        {"line\r\n", true, 4, "line??"},
        {"del\x7F", true, 3, "del?"},
        {std::string("nul\0x", 5), true, 3, "nul?x"},
        // C1 as UTF-8: a control character, but no control byte.
        {"ab\xC2\x85", false, 2, "ab\xC2\x85"},
        {"\xC2\x9F", false, 0, "\xC2\x9F"},
        {"\xC2\xA0 \xC2", false, none, "\xC2\xA0 \xC2"},
        {"\xC2\x85\x01", true, 0, "\xC2\x85?"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HasControlByte(c.Text), c.HasByte) << testing::PrintToString(c.Text);
        EXPECT_EQ(FirstControlCharacter(c.Text), c.FirstCharacter)
            << testing::PrintToString(c.Text);
        EXPECT_EQ(HasControlCharacter(c.Text), c.FirstCharacter != none)
            << testing::PrintToString(c.Text);
        EXPECT_EQ(MaskControlBytes(c.Text), c.Masked) << testing::PrintToString(c.Text);
    }
}

}  // namespace
}  // namespace kstbell::text::test
