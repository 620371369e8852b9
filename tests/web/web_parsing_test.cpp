// The texts the front reads from a request and from the site file: targets with their
// percent escapes, credentials in headers, times, cursors and listen addresses.

#include <gtest/gtest.h>

#include "web/credentials.h"
#include "web/http_config.h"
#include "web/json_views.h"
#include "web/request_target.h"
#include "web/time_text.h"

namespace kstbell::web::test {
namespace {

using namespace std::chrono;

TEST(WebParsing, TargetsAreDecodedSegmentBySegment) {
    struct TCase {
        std::string Target;
        std::vector<std::string> Segments;
        TQueryPairs Query;
    };
    const std::vector<TCase> good = {
        {"/", {""}, {}},
        {"/api/v1/horns", {"api", "v1", "horns"}, {}},
        {"/api/v1/users/a%2Fb", {"api", "v1", "users", "a/b"}, {}},
        {"/a+b?x=a+b&&y=%20&z", {"a+b"}, {{"x", "a b"}, {"y", " "}, {"z", ""}}},
        {"/log?kind=ring,alarm_start&kind=stop_all",
         {"log"},
         {{"kind", "ring,alarm_start"}, {"kind", "stop_all"}}},
        {"/%C3%A9?%C3%A9=%E2%82%AC", {"\xc3\xa9"}, {{"\xc3\xa9", "\xe2\x82\xac"}}},
    };
    for (const auto& c : good) {
        std::string error;
        const auto target = ParseTarget(c.Target, error);
        ASSERT_TRUE(target) << c.Target << ": " << error;
        EXPECT_EQ(target->Segments, c.Segments) << c.Target;
        EXPECT_EQ(target->Query, c.Query) << c.Target;
    }
    for (const auto* bad :
         {"", "api/v1", "http://example.org/", "/a%2", "/a%zz", "/a%00b", "/a?x=%0", "/?x%00=1"}) {
        std::string error;
        EXPECT_FALSE(ParseTarget(bad, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

TEST(WebParsing, CredentialsAreReadFromTheirHeadersOnly) {
    const std::vector<std::pair<std::vector<std::string>, std::optional<std::string>>> cookies = {
        {{}, std::nullopt},
        {{"kstbell_session=abc"}, "abc"},
        {{"theme=dark; kstbell_session=abc; x=y"}, "abc"},
        {{"theme=dark", "kstbell_session=\"abc\""}, "abc"},
        {{"xkstbell_session=abc"}, std::nullopt},
        {{"kstbell_session=a;b"}, "a"},
        {{"kstbell_session=a b"}, std::nullopt},
        {{"kstbell_session="}, std::nullopt},
        {{"kstbell_session=" + std::string(kMaxCredentialBytes + 1, 'a')}, std::nullopt},
    };
    for (const auto& [headers, value] : cookies) {
        EXPECT_EQ(SessionCookie(headers), value) << (headers.empty() ? "" : headers.front());
    }
    struct TBearerCase {
        std::vector<std::string> Headers;
        std::string Token;
        bool Problem;
    };
    const std::vector<TBearerCase> bearers = {
        {{"Bearer tok-1"}, "tok-1", false}, {{"bearer   tok-1 "}, "tok-1", false},
        {{"Basic dXNlcjpwYXNz"}, "", true}, {{"Bearer"}, "", true},
        {{"Bearer a b"}, "", true},         {{"Bearer tok-1", "Bearer tok-2"}, "", true},
    };
    for (const auto& c : bearers) {
        const auto bearer = BearerToken(c.Headers);
        EXPECT_TRUE(bearer.Present);
        EXPECT_EQ(bearer.Token, c.Token) << c.Headers.front();
        EXPECT_EQ(!bearer.Problem.empty(), c.Problem) << c.Headers.front();
    }
    EXPECT_FALSE(BearerToken({}).Present);
    EXPECT_TRUE(SameSecret("csrf-1", "csrf-1"));
    EXPECT_FALSE(SameSecret("csrf-1", "csrf-2"));
    EXPECT_FALSE(SameSecret("csrf-1", "csrf-12"));
    EXPECT_FALSE(SameSecret("", ""));
}

TEST(WebParsing, TimesAreReadWithTheirOffsetAndWrittenInUtc) {
    const auto base = sys_days(year(2027) / January / 7) + hours(8);
    const std::vector<std::pair<std::string, TInstant>> good = {
        {"2027-01-07T08:00:00Z", base},
        {"2027-01-07t08:00:00z", base},
        {"2027-01-07 09:00:00+01:00", base},
        {"2027-01-07T07:30:00-00:30", base},
        {"2027-01-07T08:00:00.25Z", base + milliseconds(250)},
        {"2027-01-07T08:00:00.123456789Z", base + milliseconds(123)},
        {"2027-01-07T07:59:60Z", base - seconds(1)},
    };
    for (const auto& [text, at] : good)
        EXPECT_EQ(ParseInstant(text), at) << text;
    for (const auto* bad :
         {"2027-01-07", "2027-01-07T08:00:00", "2027-02-29T08:00:00Z", "2027-01-07T24:00:00Z",
          "2027-01-07T08:00:00+1:00", "2027-01-07T08:00:00.Z", "2027-01-07T08:00:00Zx",
          "9999-12-31T00:00:00Z", "1800-01-01T00:00:00Z", "yesterday"}) {
        EXPECT_FALSE(ParseInstant(bad)) << bad;
    }
    EXPECT_EQ(InstantText(base + milliseconds(7)), "2027-01-07T08:00:00.007Z");
    EXPECT_EQ(InstantText(TInstant(seconds(-1))), "1969-12-31T23:59:59.000Z");
    EXPECT_EQ(ParseDate("2028-02-29"), year(2028) / February / 29);
    EXPECT_FALSE(ParseDate("2027-02-29"));

    const TLogCursor cursor{base + milliseconds(5), 42};
    EXPECT_EQ(ParseCursor(CursorText(cursor)), cursor);
    EXPECT_EQ(ParseCursor("-1000-3"), (TLogCursor{TInstant(milliseconds(-1000)), 3}));
    for (const auto* bad : {"", "1-", "-1", "1-x", "x-1", "1-2-3", "1--2", "99999999999999999999-1",
                            "9000000000000000-1"}) {
        EXPECT_FALSE(ParseCursor(bad)) << bad;
    }
}

TEST(WebParsing, ListenAddressesNeedAnIpAndAPort) {
    const std::vector<std::pair<std::string, std::optional<TListen>>> cases = {
        {"127.0.0.1:8786", TListen{"127.0.0.1", 8786}},
        {"0.0.0.0:0", TListen{"0.0.0.0", 0}},
        {"[::1]:443", TListen{"::1", 443}},
        {"::1:443", std::nullopt},
        {"localhost:8786", std::nullopt},
        {"127.0.0.1", std::nullopt},
        {"127.0.0.1:65536", std::nullopt},
        {"127.0.0.1:-1", std::nullopt},
        {"[::1]443", std::nullopt},
        {"[127.0.0.1]:80", std::nullopt},
    };
    for (const auto& [text, listen] : cases) {
        std::string error;
        EXPECT_EQ(ParseListen(text, error), listen) << text;
        EXPECT_EQ(error.empty(), listen.has_value()) << text;
        if (listen) {
            EXPECT_EQ(ListenText(*listen), text);
        }
    }
}

}  // namespace
}  // namespace kstbell::web::test
