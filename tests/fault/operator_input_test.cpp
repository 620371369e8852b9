// Hostile text in every field the operator types into: each click ends in a clear message or
// in acceptance, never in a crash, and nothing longer than the protocol allows goes out.

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "device/settings.h"
#include "protocol/address_text.h"
#include "shell/main_window_actions.h"
#include "shell/setup_actions.h"
#include "shell/setup_commits.h"
#include "support/recording_tcp.h"
#include "support/sim_fixture.h"

namespace kstbell::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TInput {
    const char* name;
    std::string text;
};

const TInput kHostile[] = {
    {"empty", ""},
    {"10,000 characters", std::string(10000, '9')},
    {"UTF-8", "\xC3\x86r\xC3\xB8 \xE6\x9D\xB1\xE4\xBA\xAC \xE2\x98\x83"},  // 16 bytes
    {"invalid UTF-8", "\xFF\xFE\xC0\x80\xED\xA0\x80\xF8"},
    {"control characters", "\t\r\n\x01\x1B\x7F\b\f"},
    {"embedded NUL", std::string("ab\0cd", 5)},
};

// The simulator, with the program's connections going through a recorder.
struct TWireBench {
    TSimBench b;
    TRecordingTcpClient Wire{b.Tcp};
    TContext Ctx{Wire, b.Host, b.Network};

    TWireBench() {
        Ctx.Session.Link.DeviceIp = b.Ctx.Session.Link.DeviceIp;
        Ctx.Session.Link.DevicePort = b.Ctx.Session.Link.DevicePort;
        Ctx.Session.Locate.DeviceNetPrefix = b.Ctx.Session.Locate.DeviceNetPrefix;
    }
};

// Every request frame within its limits: at most 60 bytes, file paths of at most 43 bytes that
// fit the frame, a WEB key request of at most 11 bytes. Data connections carry no frame.
void ExpectFramesWithinLimits(const TRecordingTcpClient& wire) {
    for (const Bytes& sent : wire.Connections) {
        if (sent.size() < 5 || !std::equal(FrameMagic.begin(), FrameMagic.end(), sent.begin()))
            continue;
        EXPECT_LE(sent.size(), 60u);
        switch (sent[4]) {
            case CMD_FILE_HEADER:
            case CMD_KILL_FILE:
                EXPECT_LE(sent.at(16), 43);
                EXPECT_LE(17u + sent.at(16), sent.size());
                break;
            case CMD_SET_WEB_LOGIN_KEY:
                EXPECT_LE(sent.size(), 11u);
                EXPECT_EQ(sent.size(), 6u + sent.at(5));
                break;
            default:
                break;
        }
    }
}

// What the window's standard error handling shows for an action that raised an error.
std::optional<std::string> Click(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return std::nullopt;
}

// The conversion error as the box shows it; a NUL ends the text, as for every C message.
std::string ConversionText(const std::string& part) {
    return ("'" + part + "' is not a valid integer value").c_str();
}

TEST(OperatorInputTest, ToneBoxRefusesAnythingButANumber) {
    TWireBench w;
    for (const auto& input : kHostile) {
        SCOPED_TRACE(input.name);
        w.Ctx.Form1.ComboBox1Text = input.text;
        EXPECT_EQ(Click([&] { SpeedButton4Click(w.Ctx); }), ConversionText(input.text));
    }
    EXPECT_TRUE(w.Wire.Connections.empty());
    EXPECT_FALSE(w.Ctx.Session.Link.LinkBusy);

    w.Ctx.Form1.ComboBox1Text = "3";
    EXPECT_EQ(Click([&] { SpeedButton4Click(w.Ctx); }), std::nullopt);
    EXPECT_EQ(w.b.Sim.Snapshot().Relay, 1);
    EXPECT_EQ(w.b.Sim.Snapshot().Tone, 3);
    ExpectFramesWithinLimits(w.Wire);
}

TEST(OperatorInputTest, StaticIpTakesAnAddressTextOrExplainsWhichPartIsWrong) {
    struct Case {
        TInput input;
        std::optional<std::string> error;  // nothing: the text is taken as the address
    };
    std::vector<Case> cases;
    for (const auto& input : kHostile)  // none has a dot: the first part is the whole text
        cases.push_back({input, ConversionText(input.text)});
    cases.push_back({{"three dots, then 10,000 digits", "1.2.3." + std::string(10000, '4')},
                     ConversionText(std::string(10000, '4'))});
    // Leading blanks pass the integer conversion, so these are taken; neither is an address on
    // this PC's networks, and nothing is sent to them.
    cases.push_back(
        {{"10,000 characters, blanks first", std::string(9993, ' ') + "1.2.3.4"}, std::nullopt});
    cases.push_back({{"tab first", "\t127.0.0.1"}, std::nullopt});

    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.name);
        TWireBench w;
        auto& ctx = w.Ctx;
        ctx.Form1.Edit2Text = c.input.text;
        EXPECT_EQ(Click([&] { SpeedButton5Click(ctx); }), c.error);
        if (c.error) {
            EXPECT_EQ(ctx.Session.Link.DeviceIp, "127.0.0.1");
            EXPECT_EQ(ctx.Session.Locate.DeviceNetPrefix, "127.0.0.");
        } else {
            EXPECT_EQ(ctx.Session.Link.DeviceIp, c.input.text);
            EXPECT_EQ(ctx.Form1.Label4.Caption, "Device not found!!");
            for (int tick = 0; tick < 40; ++tick)
                Timer3Timer(ctx);
        }
        EXPECT_TRUE(w.Wire.Connections.empty());

        // Back to the device's address: it is found and identified again.
        ctx.Form1.Edit2Text = "127.0.0.1";
        EXPECT_EQ(Click([&] { SpeedButton5Click(ctx); }), std::nullopt);
        for (int tick = 0; tick < 40 && !ctx.Session.Flags.DeviceInfoValid; ++tick)
            Timer3Timer(ctx);
        EXPECT_TRUE(ctx.Session.Flags.DeviceInfoValid);
        ExpectFramesWithinLimits(w.Wire);
    }
}

TEST(OperatorInputTest, SetupEditsAreRefusedWithABoxOrStoredByteForByte) {
    struct TField {
        const char* name;
        TEditState TSetupWindowState::*edit;
        void (*click)(TContext&);
        const char* file;  // where an accepted text is stored as it stands
    };
    using W = TSetupWindowState;
    const TField fields[] = {
        {"Edit1", &W::Edit1, SetupImage2Click, "/local/ap_ssid.cfg"},
        {"Edit2", &W::Edit2, SetupImage2Click, "/local/ap_key.cfg"},
        {"Edit3", &W::Edit3, SetupImage3Click, "/local/sta_ssid.cfg"},
        {"Edit4", &W::Edit4, SetupImage3Click, "/local/sta_key.cfg"},
        {"Edit5", &W::Edit5, SetupImage6Click, "/local/locate.cfg"},
        {"Edit6", &W::Edit6, SetupImage5Click, nullptr},
        {"Edit7", &W::Edit7, SetupImage9Click, nullptr},
        {"Edit8", &W::Edit8, SetupImage10Click, nullptr},
        {"Edit9", &W::Edit9, SetupImage10Click, nullptr},
        {"Edit10", &W::Edit10, SetupImage10Click, nullptr},
        {"Edit12", &W::Edit12, SetupImage9Click, nullptr},
    };
    // The longest content each file may hold.
    const std::map<std::string, std::size_t> fileLimits = {
        {"/local/ap_ssid.cfg", 31}, {"/local/sta_ssid.cfg", 31}, {"/local/ap_key.cfg", 16},
        {"/local/sta_key.cfg", 16}, {"/local/locate.cfg", 31},   {"/local/sta_keyT.cfg", 1},
        {"/local/sta_ip.cfg", 12},  {"/local/mbport.cfg", 10},   {"/local/web_key.cfg", 5},
    };

    for (const auto& field : fields) {
        for (const auto& input : kHostile) {
            SCOPED_TRACE(std::string(field.name) + ", " + input.name);
            TWireBench wb;
            auto& ctx = wb.Ctx;
            auto& host = wb.b.Host;
            auto& w = ctx.Form2;
            // Valid entries everywhere, keys required, then the one hostile text.
            w.Edit1.Text = "ap-net";
            w.Edit2.Text = w.Edit4.Text = "12345678";
            w.RadioButton1 = false;
            w.Edit3.Text = "sta-net";
            w.Edit5.Text = "hall";
            w.Edit6.Text = "abcde";
            w.Edit7.Text = "502";
            w.Edit12.Text = "30";
            SetStaticIpControls(ctx, true);
            w.Edit8.Text = "10.0.0.5";
            w.Edit10.Text = "10.0.0.1";
            (w.*field.edit).Text = input.text;
            host.Answers.assign(4, TMsgResult::Yes);

            EXPECT_NO_THROW(field.click(ctx));
            ASSERT_FALSE(host.Boxes.empty());
            const bool accepted = host.Boxes.front().Caption == "Confirm";
            if (accepted) {
                EXPECT_EQ(host.Boxes.back().Caption, "Information") << host.Boxes.back().Text;
                if (field.file) {
                    const Bytes expected(input.text.begin(), input.text.end());
                    EXPECT_TRUE(SimFileIs(wb.b.Sim, field.file, expected));
                }
                if (field.edit == &W::Edit6) {
                    EXPECT_EQ(wb.b.Sim.Snapshot().WebLoginKey, input.text);
                }
            } else {
                EXPECT_EQ(host.Boxes.size(), 1u);
                EXPECT_NE(host.Boxes[0].Caption.find("Error"), std::string::npos)
                    << host.Boxes[0].Caption;
                EXPECT_TRUE(wb.Wire.Connections.empty());
            }
            ExpectFramesWithinLimits(wb.Wire);
            for (const auto& [path, content] : wb.b.Sim.Files()) {
                ASSERT_TRUE(fileLimits.contains(path)) << path;
                EXPECT_LE(content.size(), fileLimits.at(path)) << path;
            }
            EXPECT_FALSE(ctx.Session.Link.LinkBusy);
            EXPECT_FALSE(w.Busy);
        }
    }
}

TEST(OperatorInputTest, RefusedWebKeyStaysHeldButIsNeverSent) {
    // A refused entry is still held; sending the held key must not let it out.
    for (const std::size_t length : {std::size_t{6}, std::size_t{300}, std::size_t{10000}}) {
        SCOPED_TRACE(length);
        TWireBench wb;
        wb.Ctx.Form2.Edit6.Text = std::string(length, 'k');
        SetupImage5Click(wb.Ctx);
        ASSERT_EQ(wb.b.Host.Boxes.size(), 1u);
        EXPECT_EQ(wb.b.Host.Boxes[0].Text, "    . WEB Key must be 5 chars.");
        EXPECT_EQ(wb.Ctx.Form2.HeldWebKey.size(), length);
        EXPECT_EQ(SendWebLoginKey(wb.Ctx.Session, wb.Ctx.Form2.HeldWebKey).Kind,
                  TOutcomeKind::InvalidInput);
        EXPECT_TRUE(wb.Wire.Connections.empty());
        EXPECT_EQ(wb.b.Sim.Snapshot().WebLoginKey, "");
        EXPECT_EQ(wb.Ctx.Form1.ComboBox1Text, "0");  // the state behind the request area is whole
    }
}

}  // namespace
}  // namespace kstbell::test
