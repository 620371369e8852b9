#include <gtest/gtest.h>

#include "shell/setup_actions.h"
#include "support/offline_context.h"

namespace kstbell::test {
namespace {

struct ReadoutTest : ::testing::Test {
    TOffline o;
    TContext& ctx = o.Ctx;
    TSetupWindowState& w = ctx.Form2;
    TDeviceInfo& info = ctx.Session.DeviceInfo;
};

TEST_F(ReadoutTest, ShowsTheLastDeviceInformation) {
    info.ApSsid = "KST-AP";
    info.ApKeyType = 5;
    info.StaSsid = "Home";
    info.StaKeyType = 7;
    info.Location = "Office";
    info.ModbusPort = 502;
    info.ModbusIdleTimeout = 65000;
    info.WifiMode = 2;
    info.StaticIpEnabled = true;
    info.StaticIp = {192, 168, 1, 20};
    info.NetMask = {255, 255, 0, 0};
    info.Gateway = {10, 0, 0, 1};
    w.Edit2.Text = "typed key";
    w.CGauge1.Progress = 77;
    SetupFormActivate(ctx);
    EXPECT_EQ(w.Edit1.Text, "KST-AP");
    EXPECT_TRUE(w.RadioButton2 && !w.RadioButton1);
    EXPECT_EQ(w.Edit2.Text, "typed key");  // a secured type leaves the key edit alone
    EXPECT_EQ(w.Edit3.Text, "Home");
    EXPECT_TRUE(w.RadioButton5 && !w.RadioButton3 && !w.RadioButton4);
    EXPECT_EQ(w.Edit5.Text, "Office");
    EXPECT_EQ(w.Edit7.Text, "502");
    EXPECT_EQ(w.Edit12.Text, "65000");
    EXPECT_TRUE(w.RadioButton6 && !w.RadioButton7);
    EXPECT_TRUE(w.CheckBox1);
    EXPECT_TRUE(w.Edit8.Enabled && w.Edit9.Enabled && w.Edit10.Enabled && w.Label11Enabled);
    EXPECT_EQ(w.Edit8.Text, "192.168.1.20");
    EXPECT_EQ(w.Edit9.Text, "255.255.0.0");
    EXPECT_EQ(w.Edit10.Text, "10.0.0.1");
    EXPECT_EQ(w.CGauge1.Progress, 0);
}

TEST_F(ReadoutTest, OpenTypesClearTheKeysAndNoStaticAddressKeepsTheMask) {
    w.Edit2.Text = w.Edit4.Text = "secret99";
    w.Edit8.Text = "1.2.3.4";
    w.Edit9.Text = "255.255.255.128";
    w.Edit10.Text = "1.2.3.1";
    info.StaKeyType = 1;
    SetupFormActivate(ctx);
    EXPECT_TRUE(w.RadioButton1);
    EXPECT_EQ(w.Edit2.Text, "");
    EXPECT_TRUE(w.RadioButton4);
    EXPECT_EQ(w.Edit4.Text, "secret99");
    EXPECT_TRUE(w.RadioButton7 && !w.RadioButton6);
    EXPECT_FALSE(w.CheckBox1);
    EXPECT_FALSE(w.Edit8.Enabled || w.Edit9.Enabled || w.Edit10.Enabled || w.Label10Enabled);
    EXPECT_EQ(w.Edit8.Text, "");
    EXPECT_EQ(w.Edit9.Text, "255.255.255.128");
    EXPECT_EQ(w.Edit10.Text, "");

    info.StaKeyType = 0;
    SetupFormActivate(ctx);
    EXPECT_TRUE(w.RadioButton3);
    EXPECT_EQ(w.Edit4.Text, "");
}

TEST_F(ReadoutTest, StaticIpCheckBoxTogglesThePanelControls) {
    SetupFormCreate(ctx);
    EXPECT_FALSE(w.Edit8.Enabled);
    CheckBox1Click(ctx, true);
    EXPECT_TRUE(w.CheckBox1 && w.Edit8.Enabled && w.Edit10.Enabled && w.Label12Enabled);
    CheckBox1Click(ctx, false);
    EXPECT_FALSE(w.CheckBox1 || w.Edit9.Enabled || w.Label10Enabled);
}

TEST_F(ReadoutTest, ClosingResumesPollingOnlyAfterInformationWasShown) {
    ctx.Session.Poll.PollEnabled = false;
    SetupFormClose(ctx);
    EXPECT_FALSE(ctx.Session.Poll.PollEnabled);
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, 0);

    ctx.Session.Flags.DeviceInfoShown = true;
    SetupFormClose(ctx);
    EXPECT_TRUE(ctx.Session.Poll.PollEnabled);
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, CMD_GET_DEVICE_INFO);

    // Located no more: nothing queued, polling resumes all the same.
    ctx.Session.Poll = {};
    ctx.Session.Poll.PollEnabled = false;
    o.Network.WifiState = kWifiStateDisconnected;
    ctx.Session.Flags.DeviceInfoShown = true;
    SetupFormClose(ctx);
    EXPECT_TRUE(ctx.Session.Poll.PollEnabled);
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, 0);
}

}  // namespace
}  // namespace kstbell::test
