#include <gtest/gtest.h>

#include "store/clean_text.h"
#include "store/utc_time.h"
#include "store_fixture.h"

namespace kstbell::store {
namespace {

TEST(StoreText, CleanTextKeepsValidUtf8AndCutsAtCharacterBoundaries) {
    const std::string bad = "\xEF\xBF\xBD";  // U+FFFD
    const struct {
        std::string in;
        std::size_t max;
        std::string out;
    } cases[] = {
        {"Aula \xC3\xBC \xE2\x82\xAC \xF0\x9F\x94\x94", 100,
         "Aula \xC3\xBC \xE2\x82\xAC \xF0\x9F\x94\x94"},
        {"a\x80z", 100, "a" + bad + "z"},                  // stray continuation byte
        {"\xC0\xAF", 100, bad + bad},                      // overlong '/'
        {"\xED\xA0\x80", 100, bad + bad + bad},            // surrogate
        {"\xF4\x90\x80\x80", 100, bad + bad + bad + bad},  // above U+10FFFF
        {"ab\xE2\x82", 100, "ab" + bad + bad},             // cut sequence at the end
        {"abcdef", 4, "abcd"},
        {"ab\xE2\x82\xAC", 4, "ab"},  // never splits a character
        {std::string("a\0b", 3), 100, std::string("a\0b", 3)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CleanText(c.in, c.max), c.out) << c.in;
}

TEST(StoreText, UtcInstantsHaveOneTextForm) {
    EXPECT_EQ(FormatUtc(test::At(123)), "2027-01-07T08:00:00.123Z");
    EXPECT_EQ(FormatUtc(FromUnixMs(-1)), "1969-12-31T23:59:59.999Z");
}

}  // namespace
}  // namespace kstbell::store
