// Commits end to end against the in-process simulator: the files on its flash afterwards, the
// order of the operations, the pauses and the boxes.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "protocol/address_text.h"
#include "shell/setup_actions.h"
#include "shell/setup_commits.h"
#include "support/sim_fixture.h"

namespace kstbell::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

struct CommitsTest : ::testing::Test {
    TSimBench b;
    TContext& ctx = b.Ctx;
    TSetupWindowState& w = ctx.Form2;

    void SetUp() override { b.Host.Answers = {TMsgResult::Yes}; }
    ::testing::AssertionResult FileIs(const std::string& path, std::optional<Bytes> expected) {
        return SimFileIs(b.Sim, path, expected);
    }
    // The command codes of the frames the device received, data connections as 0.
    std::vector<int> Codes(std::size_t expected) const {
        WaitUntil([&] { return b.Sim.Requests().size() >= expected; }, std::chrono::seconds(2));
        std::vector<int> codes;
        for (const auto& r : b.Sim.Requests())
            codes.push_back(r.DataConnection ? 0 : r.Bytes.at(4));
        return codes;
    }
    const TShownBox& LastBox() const { return b.Host.Boxes.back(); }
};

TEST_F(CommitsTest, AccessPointWithKeyWritesKeyThenSsid) {
    w.Edit1.Text = "Horn-AP";
    w.Edit2.Text = "password1";
    w.RadioButton1 = false;
    SetupImage2Click(ctx);
    EXPECT_TRUE(FileIs("/local/ap_key.cfg", Of("password1")));
    EXPECT_TRUE(FileIs("/local/ap_ssid.cfg", Of("Horn-AP")));
    EXPECT_EQ(Codes(4), (std::vector<int>{CMD_FILE_HEADER, 0, CMD_FILE_HEADER, 0}));
    EXPECT_EQ(b.Host.Sleeps, (std::vector<int>{1500, 200, 1500}));
    EXPECT_EQ(LastBox().Text, "AP SSID write complete,\n    . Manual Reboot to take effect!");
    EXPECT_EQ(LastBox().Caption, "Information");
    EXPECT_EQ(LastBox().Icon, TMsgIcon::Information);
    EXPECT_EQ(ctx.Form1.Memo1.back(), "AP_SSID =Horn-AP");
    EXPECT_FALSE(w.Busy);
}

TEST_F(CommitsTest, OpenAccessPointDeletesTheKeyFile) {
    w.Edit1.Text = "Horn-AP";
    w.Edit2.Text = "password1";
    w.RadioButton1 = false;
    SetupImage2Click(ctx);
    ASSERT_TRUE(FileIs("/local/ap_ssid.cfg", Of("Horn-AP")));
    b.Sim.ClearRequests();
    b.Host.Answers = {TMsgResult::Yes};
    w.RadioButton1 = true;
    w.Edit2.Text = "abc";
    SetupImage2Click(ctx);
    EXPECT_TRUE(FileIs("/local/ap_key.cfg", std::nullopt));
    EXPECT_EQ(Codes(3), (std::vector<int>{CMD_KILL_FILE, CMD_FILE_HEADER, 0}));
}

TEST_F(CommitsTest, StationWritesKeyTypeAndSsidInOrder) {
    w.Edit3.Text = "Home";
    w.Edit4.Text = "wepkey123";
    w.RadioButton3 = w.RadioButton5 = false;
    w.RadioButton4 = true;
    SetupImage3Click(ctx);
    EXPECT_TRUE(FileIs("/local/sta_key.cfg", Of("wepkey123")));
    EXPECT_TRUE(FileIs("/local/sta_keyT.cfg", (Bytes{0x01})));
    EXPECT_TRUE(FileIs("/local/sta_ssid.cfg", Of("Home")));
    EXPECT_EQ(Codes(6),
              (std::vector<int>{CMD_FILE_HEADER, 0, CMD_FILE_HEADER, 0, CMD_FILE_HEADER, 0}));
    EXPECT_EQ(b.Host.Sleeps, (std::vector<int>{1500, 200, 1500, 200, 1500}));
    EXPECT_EQ(LastBox().Text, "STA SSID write complete,\n    . Manual Reboot to take effect!");

    b.Host.Answers = {TMsgResult::Yes};
    w.RadioButton4 = false;
    w.RadioButton3 = true;
    SetupImage3Click(ctx);
    EXPECT_TRUE(FileIs("/local/sta_key.cfg", std::nullopt));
    EXPECT_TRUE(FileIs("/local/sta_keyT.cfg", (Bytes{0x00})));
}

TEST_F(CommitsTest, StaticAddressBytesAreDecimalOctets) {
    w.CheckBox1 = true;
    w.Edit8.Text = "192.168.1.20";
    w.Edit9.Text = "255.255.255.0";
    w.Edit10.Text = "192.168.010.1";
    SetupImage10Click(ctx);
    EXPECT_TRUE(FileIs("/local/sta_ip.cfg", (Bytes{0xC0, 0xA8, 0x01, 0x14, 0xFF, 0xFF, 0xFF, 0x00,
                                                   0xC0, 0xA8, 0x0A, 0x01})));
    EXPECT_EQ(LastBox().Text,
              "Station Static IP write complete,\n    . Manual Reboot to take effect!");

    b.Host.Answers = {TMsgResult::Yes};
    w.CheckBox1 = false;
    SetupImage10Click(ctx);
    EXPECT_TRUE(FileIs("/local/sta_ip.cfg", std::nullopt));
    EXPECT_EQ(LastBox().Text,
              "Station Static IP delete complete,\n    . Manual Reboot to take effect!");
}

TEST_F(CommitsTest, ModbusFileThenUpdateNotice) {
    w.Edit7.Text = "502";
    w.Edit12.Text = "30";
    SetupImage9Click(ctx);
    EXPECT_TRUE(FileIs("/local/mbport.cfg", (Bytes{0x01, 0xF6, 0x00, 0x1E, 0, 0, 0, 0, 0, 0})));
    EXPECT_EQ(Codes(3), (std::vector<int>{CMD_FILE_HEADER, 0, CMD_MODBUS_UPDATED}));
    EXPECT_EQ(b.Sim.Requests().back().Bytes.size(), 5u);
    EXPECT_EQ(b.Host.Sleeps, (std::vector<int>{1500, 300}));
    const auto& memo = ctx.Form1.Memo1;
    EXPECT_NE(std::find(memo.begin(), memo.end(), "Modbus Port =502, Idle Timeout: 30"),
              memo.end());
    EXPECT_EQ(LastBox().Text,
              "Modify Modbus Port, Timeout write complete,\n    . Manual Reboot to take effect!");
}

TEST_F(CommitsTest, WebKeyGoesOutAsOneRequest) {
    w.Edit6.Text = "ab1de";
    SetupImage5Click(ctx);
    EXPECT_EQ(b.Sim.Requests().back().Bytes,
              (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x32, 5, 'a', 'b', '1', 'd', 'e'}));
    EXPECT_EQ(b.Sim.Snapshot().WebLoginKey, "ab1de");
    EXPECT_EQ(LastBox().Text, "WEB Key write complete,\n    .Take effect immediately.");
}

TEST_F(CommitsTest, NewLocationShowsAfterTheDeviceRestarts) {
    w.Edit5.Text = "Caf\xC3\xA9 Nord";
    SetupImage6Click(ctx);
    EXPECT_TRUE(FileIs("/local/locate.cfg", Of("Caf\xC3\xA9 Nord")));
    RequestDeviceInfo(ctx.Session);
    EXPECT_EQ(ctx.Form1.Label5.Caption, "Locate: Office");  // not before a restart
    b.Sim.Restart();
    RequestDeviceInfo(ctx.Session);
    EXPECT_EQ(ctx.Form1.Label5.Caption, "Locate: Caf\xC3\xA9 Nord");
}

TEST_F(CommitsTest, NoAnswerYesOrNoDeviceMeansNothingSent) {
    w.Edit5.Text = "Lab";
    b.Host.Answers = {TMsgResult::No};
    SetupImage6Click(ctx);
    b.Network.WifiState = kWifiStateDisconnected;
    b.Host.Answers = {TMsgResult::Yes};
    SetupImage6Click(ctx);
    EXPECT_TRUE(b.Sim.Requests().empty());
    EXPECT_EQ(b.Host.Boxes.size(), 2u);  // the two confirmations, no result box
    EXPECT_EQ(ctx.Form1.Label4.Caption, "Device not found!!");
}

TEST_F(CommitsTest, FailedTransferShowsAnErrorInsteadOfTheResult) {
    w.Edit1.Text = "Horn-AP";
    w.Edit2.Text = "password1";
    w.RadioButton1 = false;
    b.Sim.Stop();
    SetupImage2Click(ctx);
    ASSERT_EQ(b.Host.Boxes.size(), 2u);
    EXPECT_EQ(LastBox().Caption, "Error found!");
    EXPECT_EQ(LastBox().Icon, TMsgIcon::Error);
    EXPECT_NE(LastBox().Text.find("/local/ap_key.cfg"), std::string::npos) << LastBox().Text;
    EXPECT_NE(LastBox().Text.find("Connect Timeout"), std::string::npos) << LastBox().Text;
    EXPECT_FALSE(w.Busy);
}

TEST_F(CommitsTest, RefusalIsAFailureAndStopsTheCommitAtThatStep) {
    // A device that refuses every command: each commit and action ends with the error box
    // naming what was refused, never with its result box, and a commit of several steps goes
    // no further than the refused one.
    struct Case {
        const char* name;
        std::function<void()> click;
        std::vector<int> codes;  // what the device received
        std::string error;
    };
    const std::string refused = "the device refused it (status 0x15)";
    const Case cases[] = {
        {"open station",
         [&] {
             w.Edit3.Text = "Site";
             w.RadioButton3 = true;
             SetupImage3Click(ctx);
         },
         {CMD_KILL_FILE},
         "The device file /local/sta_key.cfg could not be changed:\n" + refused},
        {"static address off",
         [&] {
             w.CheckBox1 = false;
             SetupImage10Click(ctx);
         },
         {CMD_KILL_FILE},
         "The device file /local/sta_ip.cfg could not be changed:\n" + refused},
        {"location",
         [&] {
             w.Edit5.Text = "Lab";
             SetupImage6Click(ctx);
         },
         {CMD_FILE_HEADER},  // no data for a refused header
         "The device file /local/locate.cfg could not be changed:\n" + refused},
        {"web key",
         [&] {
             w.Edit6.Text = "12345";
             SetupImage5Click(ctx);
         },
         {CMD_SET_WEB_LOGIN_KEY},
         "The WEB key failed:\n" + refused},
        {"wifi mode",
         [&] { SetupImage4Click(ctx); },
         {CMD_SET_WIFI_MODE},
         "The Wi-Fi mode request failed:\n" + refused},
        {"reset to default",
         [&] { SetupImage7Click(ctx); },
         {CMD_KILL_CONFIG},
         "The reset request failed:\n" + refused},
    };
    sim::TSimFaults refusing;
    refusing.NegativeStatus = true;
    b.Sim.SetFaults(refusing);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        b.Sim.ClearRequests();
        b.Host.Boxes.clear();
        b.Host.Answers = {TMsgResult::Yes};
        c.click();
        EXPECT_EQ(Codes(c.codes.size()), c.codes);
        ASSERT_EQ(b.Host.Boxes.size(), 2u);  // the confirmation and the error, no result
        EXPECT_EQ(LastBox().Caption, "Error found!");
        EXPECT_EQ(LastBox().Icon, TMsgIcon::Error);
        EXPECT_EQ(LastBox().Text, c.error);
    }
}

TEST_F(CommitsTest, SecondCommitIsRefusedWhileOneRuns) {
    w.Edit5.Text = "Lab";
    int nested = 0;
    b.Host.OnPump = [&] {
        if (nested++ == 0) SetupImage6Click(ctx);
    };
    SetupImage6Click(ctx);
    EXPECT_GT(nested, 0);
    EXPECT_EQ(b.Host.Boxes.size(), 2u);  // one confirmation, one result
    EXPECT_EQ(Codes(2), (std::vector<int>{CMD_FILE_HEADER, 0}));
}

}  // namespace
}  // namespace kstbell::test
