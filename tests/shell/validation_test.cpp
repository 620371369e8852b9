// What each commit accepts and refuses before anything is sent. Confirmations are answered
// No, so an accepted entry shows exactly one confirmation box and nothing goes out.

#include <gtest/gtest.h>

#include "protocol/address_text.h"
#include "shell/setup_commits.h"
#include "support/offline_context.h"

namespace kstbell::test {
namespace {

struct ValidationTest : ::testing::Test {
    TOffline o;
    TContext& ctx = o.Ctx;
    TSetupWindowState& w = ctx.Form2;

    // The box the commit showed: "Confirm" when the entries were accepted.
    TShownBox Run(void (*commit)(TContext&)) {
        o.Host.Boxes.clear();
        commit(ctx);
        EXPECT_EQ(o.Host.Boxes.size(), 1u);
        EXPECT_TRUE(o.Tcp.Writes.empty());
        return o.Host.Boxes.empty() ? TShownBox{} : o.Host.Boxes.back();
    }
    bool Accepted(void (*commit)(TContext&)) { return Run(commit).Caption == "Confirm"; }
};

TEST_F(ValidationTest, CredentialLengthsCountBytes) {
    struct Case {
        std::string ssid, key;
        bool open, accepted;
    };
    const Case cases[] = {
        {std::string(31, 's'), "12345678", false, true},
        {std::string(32, 's'), "12345678", false, false},
        {"net", "1234567", false, false},
        {"net", std::string(16, 'k'), false, true},
        {"net", std::string(17, 'k'), false, false},
        {"net", "abc", true, true},  // an open network ignores the key
        {"", "12345678", true, false},
        {std::string(29, 's') + "é", "12345678", false, true},  // 31 bytes
        {std::string(30, 's') + "é", "12345678", false, false},
        {"net", "Caf\xC3\xA9xyz", false, true},  // 8 bytes, 7 characters
    };
    for (const auto& c : cases) {
        w.Edit1.Text = w.Edit3.Text = c.ssid;
        w.Edit2.Text = w.Edit4.Text = c.key;
        w.RadioButton1 = c.open;
        w.RadioButton2 = !c.open;
        w.RadioButton3 = c.open;
        w.RadioButton4 = false;
        w.RadioButton5 = !c.open;
        EXPECT_EQ(Accepted(CommitApCredentials), c.accepted) << c.ssid << " / " << c.key;
        EXPECT_EQ(Accepted(CommitStationCredentials), c.accepted) << c.ssid << " / " << c.key;
    }
    w.Edit1.Text = std::string(32, 's');
    const auto refused = Run(CommitApCredentials);
    EXPECT_EQ(refused.Caption, "Error found!");
    EXPECT_EQ(refused.Icon, TMsgIcon::Error);
    EXPECT_EQ(refused.Text,
              "    . SSID must less then 31 chars.\n    . Key must around chars  8~14.\n    . If "
              "Open type selected, Key can be ignore.");
}

TEST_F(ValidationTest, WepKeysFollowTheSameLengthRule) {
    w.Edit3.Text = "net";
    w.RadioButton3 = w.RadioButton5 = false;
    w.RadioButton4 = true;
    w.Edit4.Text = "1234567";
    EXPECT_FALSE(Accepted(CommitStationCredentials));
    w.Edit4.Text = "12345678";
    EXPECT_TRUE(Accepted(CommitStationCredentials));
}

TEST_F(ValidationTest, ConfirmationShowsTheHeldTexts) {
    w.Edit1.Text = "first";
    w.Edit2.Text = "key-one-1";
    w.RadioButton1 = false;
    Run(CommitApCredentials);
    // An empty key edit keeps the key held from before; "Open" shows it all the same.
    w.Edit2.Text.clear();
    w.RadioButton1 = true;
    const auto box = Run(CommitApCredentials);
    EXPECT_EQ(box.Text,
              "Modify AP SSID, execute?\n    . SSID: first\n    . Type: [0] OPEN\n    . "
              "KEY: key-one-1");
    EXPECT_EQ(box.Icon, TMsgIcon::Question);
    EXPECT_EQ(box.Buttons, TMsgButtons::YesNo);
    // "WPA/WPA2" is set when "Open" is not.
    w.RadioButton1 = w.RadioButton2 = false;
    w.Edit2.Text = "12345678";
    Run(CommitApCredentials);
    EXPECT_TRUE(w.RadioButton2);
}

TEST_F(ValidationTest, DottedQuads) {
    for (const char* good : {"192.168.1.20", "0.0.0.0", "255.255.255.255", "192.168.010.1"})
        EXPECT_TRUE(IsDottedQuad(good)) << good;
    for (const char* bad : {"192.168.1", "192.168.1.256", "192.168..1", "192.168.1.", "1.2.3.4a",
                            "+1.2.3.4", ".1.2.3", "1.2.3.4.5", "", "1.2.3. 4", "99999999999.1.1.1"})
        EXPECT_FALSE(IsDottedQuad(bad)) << bad;
    EXPECT_FALSE(IsDottedQuad("1.2.3." + std::string(300, '4')));
    EXPECT_EQ(DottedQuadBytes("192.168.010.1"), (std::array<std::uint8_t, 4>{192, 168, 10, 1}));
}

TEST_F(ValidationTest, StaticAddressNeedsThreeDottedQuads) {
    w.CheckBox1 = true;
    w.Edit8.Text = "192.168.1.20";
    w.Edit9.Text = "255.255.255.0";
    w.Edit10.Text = "192.168.1";
    const auto box = Run(CommitStaticIp);
    EXPECT_EQ(box.Text, "    . IP, Mask, Gateway input error.\n");
    EXPECT_EQ(box.Caption, "Error found!");
    w.Edit10.Text = "192.168.1.1";
    EXPECT_EQ(Run(CommitStaticIp).Text,
              "Modify Station Static IP, Mask, Gateway, execute?\n    . IP: 192.168.1.20\n    . "
              "Mask: 255.255.255.0\n    . Gateway: 192.168.1.1");
    w.CheckBox1 = false;  // the edits are not looked at
    w.Edit8.Text = "junk";
    EXPECT_EQ(Run(CommitStaticIp).Text, "Delete Station Static IP config, execute?\n");
}

TEST_F(ValidationTest, ModbusPortAndTimeout) {
    struct Case {
        std::string port, timeout, text, caption;
    };
    const std::string ok = "Confirm";
    const Case cases[] = {
        {"502", "30",
         "Modify Modbus Port & Idle Timeout, execute?\n    . Port: 502, Idle Timeout: 30.", ok},
        {"80", "30", "Port already used!", "Modbus port input Error"},
        {"13577", "30", "Port already used!", "Modbus port input Error"},
        {"0", "30", "Port number over range!", "Modbus port range Error"},
        {"-5", "30", "Port number over range!", "Modbus port range Error"},
        {"65536", "30", "Port number over range!", "Modbus port range Error"},
        {"", "30", "'' is not a valid integer value", "Modbus port input Error"},
        {"5o2", "30", "'5o2' is not a valid integer value", "Modbus port input Error"},
        {"65535", "0", "Timeout range must in 1 ~ 65000 Sec! Recommend 30 Sec.",
         "Modbus Idle Timeout input Error"},
        {"65535", "65001", "Timeout range must in 1 ~ 65000 Sec! Recommend 30 Sec.",
         "Modbus Idle Timeout input Error"},
        {"65535", "x", "'x' is not a valid integer value", "Modbus Idle Timeout input Error"},
    };
    for (const auto& c : cases) {
        w.Edit7.Text = c.port;
        w.Edit12.Text = c.timeout;
        const auto box = Run(CommitModbusSettings);
        EXPECT_EQ(box.Text, c.text) << c.port << "/" << c.timeout;
        EXPECT_EQ(box.Caption, c.caption) << c.port << "/" << c.timeout;
        if (c.caption != ok) {
            EXPECT_EQ(box.Icon, TMsgIcon::None);
        }
    }
    for (const char* timeout : {"1", "65000"}) {
        w.Edit12.Text = timeout;
        EXPECT_TRUE(Accepted(CommitModbusSettings)) << timeout;
    }
}

TEST_F(ValidationTest, LocationAndWebKeyLengths) {
    for (auto [text, accepted] : {std::pair{std::string(31, 'x'), true},
                                  {std::string(32, 'x'), false},
                                  {std::string(), false}}) {
        w.Edit5.Text = text;
        EXPECT_EQ(Accepted(CommitLocation), accepted) << text.size();
    }
    EXPECT_EQ(Run(CommitLocation).Text, "    . Location string must less then 31 chars.");
    for (auto [key, accepted] : {std::pair{"12345", true}, {"123456", false}, {"", false}}) {
        w.Edit6.Text = key;
        EXPECT_EQ(Accepted(CommitWebKey), accepted) << key;
    }
    EXPECT_EQ(Run(CommitWebKey).Text, "    . WEB Key must be 5 chars.");
}

TEST_F(ValidationTest, ControlCharactersAreRefusedNamingTheField) {
    struct Case {
        void (*commit)(TContext&);
        std::string* edit;
        std::string text;
        const char* field;
    };
    const Case cases[] = {
        {CommitApCredentials, &w.Edit1.Text, "Net\x01", "The SSID"},
        {CommitApCredentials, &w.Edit2.Text, "key\n12345", "The key"},
        {CommitStationCredentials, &w.Edit3.Text, std::string("Pl\0nt", 5), "The SSID"},
        {CommitStationCredentials, &w.Edit4.Text, "key12345\x7F", "The key"},
        {CommitLocation, &w.Edit5.Text, "Hall\t2", "The location"},
        {CommitWebKey, &w.Edit6.Text, "ab\rc", "The WEB Key"},
    };
    for (const Case& c : cases) {
        w.Edit1.Text = w.Edit3.Text = "Net";
        w.Edit2.Text = w.Edit4.Text = "12345678";
        w.RadioButton1 = w.RadioButton3 = false;
        w.RadioButton2 = w.RadioButton5 = true;
        w.RadioButton4 = false;
        *c.edit = c.text;
        const auto shown = Run(c.commit);
        EXPECT_EQ(shown.Caption, "Error found!") << c.field;
        EXPECT_EQ(shown.Text,
                  std::string("    . ") + c.field + " may not hold control characters.");
    }
}

}  // namespace
}  // namespace kstbell::test
