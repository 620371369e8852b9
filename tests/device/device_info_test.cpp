#include <gtest/gtest.h>

#include "shell/display.h"
#include "support/offline_context.h"
#include "support/reply_builder.h"

namespace kstbell::test {
namespace {

// An information reply from a device at 192.168.77.1.
std::vector<std::uint8_t> InfoReply(std::uint8_t model = kSupportedModelCode) {
    auto r = MakeReply(CMD_GET_DEVICE_INFO, STATUS_ACK, 200);
    r[6] = model;
    Put(r, 7, {1, 77, 168, 192});
    Put(r, 11, {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x0F});
    Put(r, 17, {1, 7, 45, 3, 5});
    Put(r, 24, {1, 10});
    Put(r, 36, {0x00, 0x1E});
    PutText(r, 40, "Office");
    PutText(r, 80, "KST-AP");
    r[112] = 2;
    PutText(r, 128, "Home");
    r[160] = 1;
    Put(r, 176, {2, 1, 1, 0x01, 0xF6, 1, 192, 168, 1, 20, 255, 255, 255, 0, 192, 168, 1, 1});
    Put(r, 194, {0xFF, 0xCE, 3, 0, 9});
    return r;
}

struct DeviceInfoTest : ::testing::Test {
    TOffline o;
    TContext& ctx = o.Ctx;
    void Decode(const std::vector<std::uint8_t>& r) {
        ctx.Session.Link.PendingCode = CMD_GET_DEVICE_INFO;
        o.Dispatch(r);
    }
};

TEST_F(DeviceInfoTest, SupportedModelFillsTheWindowAndTheInformation) {
    ResetDisplay(ctx);
    Decode(InfoReply());
    const auto& f = ctx.Form1;
    EXPECT_EQ(f.Label4.Caption, "Get Device Linked!!");
    EXPECT_EQ(f.Label4.FontColor, clNavy);
    EXPECT_EQ(o.Status(), "Get Device Linked!!");
    EXPECT_EQ(f.StatusBar1.Panels[0], "Dev MAC: 02:4B:7A:3C:60:0F");
    EXPECT_EQ(f.Label5.Caption, "Locate: Office");
    EXPECT_EQ(f.Label5.FontColor, kLocationColor);
    EXPECT_EQ(f.StatusBar3.Panels[1], "SD Free:3.05/(7.45)GB");
    EXPECT_EQ(f.StatusBar2.Panels[1], "FW: V01.0A");
    EXPECT_EQ(f.StatusBar3.Panels[0], "Device Mode: 3");
    EXPECT_EQ(f.Label12.Caption, "RSSI: -50dBm");
    EXPECT_EQ(f.SpeedButton4.Caption, "On");
    EXPECT_TRUE(f.SpeedButton4.Enabled && f.Image1Enabled && f.Image2Enabled && f.Image3Enabled);
    EXPECT_EQ(f.Memo1, (std::vector<std::string>{"DEV_ID => BA", "ARMED :9"}));

    const auto& i = ctx.Session.DeviceInfo;
    EXPECT_EQ(i.Location, "Office");
    EXPECT_EQ(i.ApSsid, "KST-AP");
    EXPECT_EQ(i.ApKeyType, 2);
    EXPECT_EQ(i.StaSsid, "Home");
    EXPECT_EQ(i.StaKeyType, 1);
    EXPECT_EQ(i.WifiMode, 2);
    EXPECT_EQ(i.ModbusPort, 502);
    EXPECT_EQ(i.ModbusIdleTimeout, 30);
    EXPECT_TRUE(i.StaticIpEnabled);
    EXPECT_EQ(i.StaticIp, (std::array<std::uint8_t, 4>{192, 168, 1, 20}));
    EXPECT_EQ(i.NetMask, (std::array<std::uint8_t, 4>{255, 255, 255, 0}));
    EXPECT_EQ(i.Gateway, (std::array<std::uint8_t, 4>{192, 168, 1, 1}));
    EXPECT_EQ(i.Armed, 9);
    EXPECT_TRUE(ctx.Session.Flags.SupportedModel && ctx.Session.Flags.DeviceInfoValid &&
                ctx.Session.Flags.DeviceInfoShown);
    EXPECT_EQ(ctx.Session.Link.PendingCode, 0);
}

TEST_F(DeviceInfoTest, OtherModelIsDecodedButLeavesControlsAndIndicatorsOff) {
    ResetDisplay(ctx);
    Decode(InfoReply(0x42));
    EXPECT_EQ(ctx.Form1.Label4.Caption, "Unknow Device??");
    EXPECT_EQ(ctx.Form1.Label4.FontColor, clRed);
    EXPECT_EQ(ctx.Form1.Memo1.front(), "DEV_ID => 00");
    EXPECT_FALSE(ctx.Form1.SpeedButton4.Enabled || ctx.Form1.Image1Enabled ||
                 ctx.Form1.Image3Enabled);
    EXPECT_FALSE(ctx.Session.Flags.SupportedModel);
    EXPECT_EQ(ctx.Form1.SpeedButton4.Caption, "Off");  // no output known on this model
    EXPECT_EQ(ctx.Session.DeviceInfo.Location, "Office");
    EXPECT_TRUE(ctx.Session.Flags.DeviceInfoValid);
}

TEST_F(DeviceInfoTest, SupportedModelFlagIsClearedByALaterOtherModel) {
    Decode(InfoReply());
    Decode(InfoReply(7));
    EXPECT_FALSE(ctx.Session.Flags.SupportedModel);
    EXPECT_TRUE(ctx.Session.Flags.HasOutput);  // stays once a supported model answered
}

TEST_F(DeviceInfoTest, AddressMismatchStopsAfterTheHeadline) {
    Decode(InfoReply());
    auto other = InfoReply();
    Put(other, 7, {2, 77, 168, 192});
    PutText(other, 40, "Elsewhere");
    Put(other, 24, {9, 9});
    ctx.Session.Flags.DeviceInfoValid = false;
    Decode(other);
    EXPECT_EQ(ctx.Form1.Label4.Caption, "Get Device Linked!!");
    EXPECT_EQ(ctx.Form1.Label5.Caption, "Locate: Office");
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[1], "FW: V01.0A");
    EXPECT_EQ(ctx.Form1.StatusBar1.Panels[0], "Dev MAC: 02:4B:7A:3C:60:0F");
    EXPECT_FALSE(ctx.Session.Flags.DeviceInfoValid);
    EXPECT_EQ(ctx.Session.Link.PendingCode, 0);

    // The comparison is on text: leading zeros never match.
    ctx.Session.Link.DeviceIp = "192.168.077.001";
    Decode(InfoReply());
    EXPECT_FALSE(ctx.Session.Flags.DeviceInfoValid);
}

TEST_F(DeviceInfoTest, TextFieldsStopAtZeroOrThirtyOneBytes) {
    auto r = InfoReply();
    PutText(r, 40, std::string(40, 'L'));  // runs into bytes 71 and on
    PutText(r, 80, std::string(31, 'A'));  // byte 111 is zero, 112 the key type
    r[111] = 'x';
    PutText(r, 128, std::string(31, 'S'));
    r[159] = 'y';
    Decode(r);
    EXPECT_EQ(ctx.Session.DeviceInfo.Location, std::string(31, 'L'));
    EXPECT_EQ(ctx.Session.DeviceInfo.ApSsid, std::string(31, 'A'));
    EXPECT_EQ(ctx.Session.DeviceInfo.StaSsid, std::string(31, 'S'));
}

TEST_F(DeviceInfoTest, DisplayTextsFollowTheirFormats) {
    auto r = InfoReply();
    r[17] = 0;
    Put(r, 24, {0xAB, 0x00});
    Put(r, 194, {0, 0});
    ctx.Form1.Label12.Caption = "RSSI: -70dBm";
    Decode(r);
    EXPECT_EQ(ctx.Form1.StatusBar3.Panels[1], "SD : N/A");
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[1], "FW: VAB.00");
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -70dBm");

    Put(r, 17, {1, 12, 3, 0, 0});
    Decode(r);
    EXPECT_EQ(ctx.Form1.StatusBar3.Panels[1], "SD Free:0.00/(12.03)GB");
}

TEST_F(DeviceInfoTest, ShortReplyDecodesToEmptyTextsAndZeros) {
    auto r = MakeReply(CMD_GET_DEVICE_INFO, STATUS_ACK, 11);
    r[6] = kSupportedModelCode;
    Put(r, 7, {1, 77, 168, 192});
    ctx.Session.DeviceInfo.Location = "old";
    Decode(r);
    EXPECT_EQ(ctx.Session.DeviceInfo.Location, "");
    EXPECT_EQ(ctx.Session.DeviceInfo.ModbusPort, 0);
    EXPECT_EQ(ctx.Form1.StatusBar1.Panels[0], "Dev MAC: 00:00:00:00:00:00");
    EXPECT_TRUE(ctx.Session.Flags.DeviceInfoValid);
}

}  // namespace
}  // namespace kstbell::test
