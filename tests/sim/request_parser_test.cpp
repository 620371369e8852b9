#include "sim/request_parser.h"

#include <gtest/gtest.h>

#include <random>

#include "sim_client.h"

namespace kstbell::sim::test {
namespace {

TFrameCheck Check(const TBytes& bytes) {
    return CheckFrame(bytes);
}

TEST(RequestParser, EachCodeWaitsForItsMinimumLength) {
    struct TCase {
        std::uint8_t Code;
        std::size_t Min;
        std::size_t Max;
    };
    const TCase cases[] = {{29, 7, 9},  {33, 7, 9},   {37, 9, 9},   {38, 9, 9}, {45, 5, 5},
                           {48, 6, 6},  {90, 40, 40}, {93, 40, 40}, {94, 6, 6}, {95, 40, 60},
                           {208, 7, 8}, {216, 5, 7},  {220, 5, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Code));
        TBytes frame = Frame(c.Code);
        frame.resize(c.Min, 0);
        if (c.Min > 5) {
            EXPECT_EQ(Check(TBytes(frame.begin(), frame.end() - 1)).State, EFrameState::NeedMore);
        }
        const TFrameCheck check = Check(frame);
        EXPECT_EQ(check.State, EFrameState::Complete);
        EXPECT_EQ(check.Bounds.Max, c.Max);

        // Bytes past the longest form are not part of the request.
        frame.resize(c.Max + 7, 0xEE);
        const TParseOutcome outcome = ParseRequest(frame);
        ASSERT_TRUE(outcome.Request);
        EXPECT_EQ(outcome.Request->Bytes.size(), c.Max);
    }
}

TEST(RequestParser, WebKeyLengthComesFromItsLengthByte) {
    EXPECT_EQ(Check(Frame(50)).State, EFrameState::NeedMore);
    EXPECT_EQ(Check(Frame(50, {3, 'a', 'b'})).State, EFrameState::NeedMore);
    EXPECT_EQ(Check(Frame(50, {3, 'a', 'b', 'c'})).State, EFrameState::Complete);
    EXPECT_EQ(Check(Frame(50, {0})).State, EFrameState::Complete);
    EXPECT_EQ(ParseRequest(Frame(50, {2, 'a'})).Error, EParseError::Short);
}

TEST(RequestParser, RejectsWrongMagicAndUnknownCodes) {
    // A wrong first byte is enough to tell.
    EXPECT_EQ(Check({0x00}).State, EFrameState::WrongMagic);
    EXPECT_EQ(Check({0x5A, 0x35}).State, EFrameState::NeedMore);
    EXPECT_EQ(ParseRequest(TBytes{0x5A, 0x35, 0x77, 0xA6, 33, 0, 0}).Error,
              EParseError::WrongMagic);
    EXPECT_EQ(ParseRequest(Frame(0x77)).Error, EParseError::UnknownCode);
    EXPECT_EQ(ParseRequest(TBytes{}).Error, EParseError::Short);
    EXPECT_EQ(ParseRequest(Frame(95, TBytes(30, 0))).Error, EParseError::Short);
}

TEST(RequestParser, PathMustLieWithinTheReceivedBytes) {
    const auto fits = ParseRequest(FileHeader(95, 0, 0, std::string(43, 'p')));
    ASSERT_TRUE(fits.Request);
    EXPECT_EQ(RequestPath(*fits.Request), std::string(43, 'p'));

    // 40-byte kill request: room for 23 characters only.
    const auto tooLong = ParseRequest(KillFile(std::string(24, 'p')));
    ASSERT_TRUE(tooLong.Request);
    EXPECT_FALSE(RequestPath(*tooLong.Request));
}

TEST(RequestParser, DevicePathsAreAbsoluteAndStayInside) {
    for (const char* good : {"/local/locate.cfg", "/sys/mcuimg.bin", "/a", "/a.b/c..d"}) {
        EXPECT_TRUE(IsValidDevicePath(good)) << good;
    }
    for (const char* bad :
         {"", "/", "local/x", "mcuimg.bin", "/local/../etc", "/..", "/a/./b", "/a//b", "/local/"}) {
        EXPECT_FALSE(IsValidDevicePath(bad)) << bad;
    }
    EXPECT_FALSE(IsValidDevicePath(std::string("/a\0b", 4)));
}

// Random input never breaks the parser's promises.
TEST(RequestParser, RandomInputKeepsInvariants) {
    std::mt19937 random(1234);
    for (int round = 0; round < 20000; ++round) {
        TBytes bytes(random() % 80);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(random());
        if (round % 2 == 0 && bytes.size() >= 5) {
            // Half the inputs get the magic so that the code paths behind it are reached.
            std::copy(std::begin(kFrameMagic), std::end(kFrameMagic), bytes.begin());
            const std::uint8_t codes[] = {29, 33, 50, 90, 93, 95, 208, 216};
            bytes[4] = codes[random() % std::size(codes)];
        }
        const TParseOutcome outcome = ParseRequest(bytes);
        ASSERT_NE(outcome.Request.has_value(), outcome.Error.has_value());
        if (outcome.Request) {
            const TFrameCheck check = CheckFrame(bytes);
            ASSERT_GE(outcome.Request->Bytes.size(), check.Bounds.Min);
            ASSERT_LE(outcome.Request->Bytes.size(), check.Bounds.Max);
            if (const auto path = RequestPath(*outcome.Request)) {
                ASSERT_LE(17 + path->size(), outcome.Request->Bytes.size());
                IsValidDevicePath(*path);
            }
        }
    }
}

}  // namespace
}  // namespace kstbell::sim::test
