// The decoder takes well-formed UTF-8 only: each malformed form gives 0, whatever follows it.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "text/utf8.h"

namespace kstbell::text::test {
namespace {

TEST(TextUtf8, SequencesAreDecodedOrRefused) {
    struct TCase {
        std::string Bytes;
        std::size_t Length;  // 0: refused
        char32_t CodePoint;
    };
    const TCase cases[] = {
        {"A", 1, U'A'},
        {std::string(1, '\0'), 1, 0},
        {"\x7F", 1, 0x7F},
        {"\xC2\x80", 2, 0x80},
        {"\xC3\xA9xyz", 2, 0xE9},  // only the first sequence is read
        {"\xDF\xBF", 2, 0x7FF},
        {"\xE0\xA0\x80", 3, 0x800},
        {"\xE2\x82\xAC", 3, 0x20AC},
        {"\xED\x9F\xBF", 3, 0xD7FF},
        {"\xEF\xBF\xBD", 3, 0xFFFD},
        {"\xF0\x90\x80\x80", 4, 0x10000},
        {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
        // Overlong forms.
        {"\xC0\x80", 0, 0},
        {"\xC1\xBF", 0, 0},
        {"\xE0\x80\x80", 0, 0},
        {"\xE0\x9F\xBF", 0, 0},
        {"\xF0\x8F\xBF\xBF", 0, 0},
        // Surrogates, and beyond U+10FFFF.
        {"\xED\xA0\x80", 0, 0},
        {"\xED\xBF\xBF", 0, 0},
        {"\xF4\x90\x80\x80", 0, 0},
        {"\xF5\x80\x80\x80", 0, 0},
        {"\xFF", 0, 0},
        // Cut tails and stray or missing continuation bytes.
        {"", 0, 0},
        {"\xC3", 0, 0},
        {"\xE2\x82", 0, 0},
        {"\xF0\x90\x80", 0, 0},
        {"\x80", 0, 0},
        {"\xBF", 0, 0},
        {"\xC3(", 0, 0},
        {"\xE2\x28\xA1", 0, 0},
        {"\xF0\x90\x28\x80", 0, 0},
    };
    for (const auto& c : cases) {
        char32_t codePoint = 0xDEAD;
        const std::size_t length = Utf8SequenceAt(c.Bytes, codePoint);
        EXPECT_EQ(length, c.Length) << testing::PrintToString(c.Bytes);
        if (c.Length) {
            EXPECT_EQ(static_cast<std::uint32_t>(codePoint),
                      static_cast<std::uint32_t>(c.CodePoint))
                << testing::PrintToString(c.Bytes);
        }
    }
}

}  // namespace
}  // namespace kstbell::text::test
