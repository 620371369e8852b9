// What a command topic's payload may say.

#include <gtest/gtest.h>

#include "mqtt/command_payload.h"

namespace kstbell::mqtt {
namespace {

TEST(BridgePayloadTest, SirenPayloadsAreReadOrRefusedWithAReason) {
    struct Case {
        std::string payload;
        bool ok;
        bool on;
        std::optional<std::uint8_t> tone;
    };
    const Case cases[] = {
        {R"({"state":"ON","tone":2})", true, true, 2},
        {R"({"state":"ON","tone":"2"})", true, true, 2},
        {R"({ "tone": 0, "state": "on" })", true, true, 0},
        {R"({"state":"OFF"})", true, false, std::nullopt},
        {R"({"state":"ON"})", true, true, std::nullopt},
        {"ON", true, true, std::nullopt},
        {" off\n", true, false, std::nullopt},
        {R"({"state":"ON","tone":4})", false, false, std::nullopt},
        {R"({"state":"ON","tone":-1})", false, false, std::nullopt},
        {R"({"state":"ON","tone":2.0})", false, false, std::nullopt},
        {R"({"state":"ON","tone":"two"})", false, false, std::nullopt},
        {R"({"state":"ON","tone":"02"})", false, false, std::nullopt},
        {R"({"state":"ON","tone":18446744073709551617})", false, false, std::nullopt},
        {R"({"state":true})", false, false, std::nullopt},
        {R"({"state":"BLINK"})", false, false, std::nullopt},
        {R"({"tone":1})", false, false, std::nullopt},
        {R"({"state":"ON","volume_level":0.5})", false, false, std::nullopt},
        {R"(["ON"])", false, false, std::nullopt},
        {R"({"state":"ON")", false, false, std::nullopt},
        {"", false, false, std::nullopt},
        {"1", false, false, std::nullopt},
        {std::string(2000, '['), false, false, std::nullopt},
        {R"({"state":"ON","tone":2})" + std::string(kMaxCommandPayload, ' '), false, false,
         std::nullopt},
        {std::string("ON\0", 3), false, false, std::nullopt},
    };
    for (const auto& c : cases) {
        TSirenRequest r;
        r.Tone = 3;
        std::string error;
        EXPECT_EQ(ParseSirenPayload(c.payload, r, error), c.ok) << c.payload;
        EXPECT_EQ(error.empty(), c.ok) << c.payload;
        if (!c.ok) continue;
        EXPECT_EQ(r.On, c.on) << c.payload;
        EXPECT_EQ(r.Tone, c.tone) << c.payload;
    }
}

TEST(BridgePayloadTest, AButtonTakesPressOrNothingElse) {
    const std::pair<std::string, bool> cases[] = {
        {"", true},
        {"PRESS", true},
        {" press\r\n", true},
        {"1", false},
        {"REBOOT", false},
        {"PRESSPRESS", false},
        {std::string(kMaxCommandPayload + 1, ' '), false},
        {R"({"id":"b7"})", true},
        {R"({"id":"b7","press":1})", false},
        {R"({})", true},
    };
    for (const auto& [payload, ok] : cases) {
        std::string error;
        std::string id;
        EXPECT_EQ(ParsePressPayload(payload, id, error), ok) << payload;
        EXPECT_EQ(error.empty(), ok) << payload;
    }
}

TEST(BridgePayloadTest, ACommandsIdIsCarriedAsJsonTextEvenWhenTheCommandIsRefused) {
    const struct {
        std::string payload;
        bool ok;
        std::string id;
    } siren[] = {
        {R"({"state":"ON","id":"a1"})", true, R"("a1")"},
        {R"({"id":42,"state":"OFF"})", true, "42"},
        {R"({"state":"BLINK","id":"z"})", false, R"("z")"},
        {R"({"state":"ON","id":{"x":1}})", false, ""},
        {R"({"state":"ON","id":1.5})", false, ""},
        {R"({"state":"ON","id":")" + std::string(kMaxCommandId + 1, 'x') + R"("})", false, ""},
        {"ON", true, ""},
    };
    for (const auto& c : siren) {
        TSirenRequest r;
        std::string error;
        EXPECT_EQ(ParseSirenPayload(c.payload, r, error), c.ok) << c.payload;
        EXPECT_EQ(r.Id, c.id) << c.payload;
    }
    std::string id;
    std::string error;
    ASSERT_TRUE(ParsePressPayload(R"({"id":"b7"})", id, error));
    EXPECT_EQ(id, R"("b7")");
}

TEST(BridgePayloadTest, ADurationIsTakenInWholeSecondsOnlyWhereTheSirenHasOne) {
    struct Case {
        std::string payload;
        bool allowed;  // the program's sirens take a duration
        bool ok;
        std::optional<std::uint32_t> seconds;
    };
    const Case cases[] = {
        {R"({"state":"ON","duration":10})", true, true, 10},
        {R"({"state":"ON","duration":10})", false, false, std::nullopt},
        {R"({"state":"ON","duration":1})", true, true, 1},
        {R"({"state":"ON","duration":18446744073709551615})", true, true, kMaxDurationSeconds},
        {R"({"state":"OFF","duration":5})", true, true, 5},
        {R"({"state":"ON","duration":0})", true, false, std::nullopt},
        {R"({"state":"ON","duration":-3})", true, false, std::nullopt},
        {R"({"state":"ON","duration":1.5})", true, false, std::nullopt},
        {R"({"state":"ON","duration":"10"})", true, false, std::nullopt},
        {R"({"state":"ON","duration":null})", true, false, std::nullopt},
        {"ON", true, true, std::nullopt},
    };
    for (const auto& c : cases) {
        TSirenRequest r;
        std::string error;
        EXPECT_EQ(ParseSirenPayload(c.payload, r, error, c.allowed), c.ok) << c.payload;
        EXPECT_EQ(r.DurationS, c.seconds) << c.payload;
    }
}

}  // namespace
}  // namespace kstbell::mqtt
