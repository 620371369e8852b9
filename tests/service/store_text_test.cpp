#include <gtest/gtest.h>

#include <set>

#include "service/store/audit_entry.h"
#include "service/store/clean_text.h"
#include "service/store/utc_time.h"

namespace kstbell::store {
namespace {

TEST(StoreText, CleanTextKeepsValidUtf8AndCutsAtCharacterBoundaries) {
    const std::string fffd = "\xEF\xBF\xBD";
    struct TCase {
        const char* name;
        std::string in;
        std::size_t max;
        std::string out;
    };
    const TCase cases[] = {
        {"plain", "Hall 2", 100, "Hall 2"},
        {"multibyte kept", "Aula \xC3\xBC \xE2\x82\xAC \xF0\x9F\x94\x94", 100,
         "Aula \xC3\xBC \xE2\x82\xAC \xF0\x9F\x94\x94"},
        {"stray continuation", "a\x80z", 100, "a" + fffd + "z"},
        {"invalid lead", "a\xFF\xC0z", 100, "a" + fffd + fffd + "z"},
        {"overlong slash", "\xC0\xAF", 100, fffd + fffd},
        {"surrogate", "\xED\xA0\x80", 100, fffd + fffd + fffd},
        {"above U+10FFFF", "\xF4\x90\x80\x80", 100, fffd + fffd + fffd + fffd},
        {"cut tail", "ab\xE2\x82", 100, "ab" + fffd + fffd},
        {"cut at limit", "abcdef", 4, "abcd"},
        {"never splits a character", "ab\xE2\x82\xAC", 4, "ab"},
        {"embedded NUL kept", std::string("a\0b", 3), 100, std::string("a\0b", 3)},
        {"empty", "", 10, ""},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(CleanText(c.in, c.max), c.out) << c.name;
    }
}

TEST(StoreText, UtcInstantsFormatAndParse) {
    const TUtcTime noon = ParseUtc("2027-01-07T12:00:00Z").value();
    EXPECT_EQ(FormatUtc(noon), "2027-01-07T12:00:00.000Z");
    EXPECT_EQ(FormatUtc(FromUnixMs(0)), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(FormatUtc(FromUnixMs(-1)), "1969-12-31T23:59:59.999Z");
    EXPECT_EQ(ToUnixMs(FromUnixMs(1'799'308'800'123)), 1'799'308'800'123);

    struct TCase {
        const char* text;
        std::optional<std::string> formatted;  // nothing: refused
    };
    const TCase cases[] = {
        {"2027-01-07", "2027-01-07T00:00:00.000Z"},
        {"2027-01-07T08:05", "2027-01-07T08:05:00.000Z"},
        {"2027-01-07 08:05:09", "2027-01-07T08:05:09.000Z"},
        {"2027-01-07T08:05:09.5Z", "2027-01-07T08:05:09.500Z"},
        {"2027-01-07T08:05:09.123456Z", "2027-01-07T08:05:09.123Z"},
        {"2024-02-29", "2024-02-29T00:00:00.000Z"},
        {"2027-02-29", std::nullopt},
        {"2027-13-01", std::nullopt},
        {"2027-01-07T24:00", std::nullopt},
        {"2027-01-07T08:60", std::nullopt},
        {"2027-01-07T08:05:09.", std::nullopt},
        {"2027-01-07T08", std::nullopt},
        {"2027-01-07+01:00", std::nullopt},
        {"2027-1-7", std::nullopt},
        {"yesterday", std::nullopt},
        {"", std::nullopt},
    };
    for (const TCase& c : cases) {
        const auto parsed = ParseUtc(c.text);
        ASSERT_EQ(parsed.has_value(), c.formatted.has_value()) << c.text;
        if (parsed) {
            EXPECT_EQ(FormatUtc(*parsed), *c.formatted) << c.text;
        }
    }
}

TEST(StoreText, KindAndCauseNamesAreDistinctAndRoundTrip) {
    std::set<std::string_view> kinds;
    for (const TAuditKind kind : AllAuditKinds()) {
        EXPECT_EQ(KindFromName(KindName(kind)), kind);
        EXPECT_TRUE(kinds.insert(KindName(kind)).second) << KindName(kind);
    }
    std::set<std::string_view> causes;
    for (const TAuditCause cause : AllAuditCauses()) {
        EXPECT_EQ(CauseFromName(CauseName(cause)), cause);
        EXPECT_TRUE(causes.insert(CauseName(cause)).second) << CauseName(cause);
    }
    EXPECT_EQ(KindName(TAuditKind::RingEnd), "ring_end");
    EXPECT_EQ(CauseName(TAuditCause::Mqtt), "mqtt");
    EXPECT_FALSE(KindFromName("Ring").has_value());
    EXPECT_FALSE(CauseFromName("").has_value());
}

}  // namespace
}  // namespace kstbell::store
