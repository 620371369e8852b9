#include <gtest/gtest.h>

#include "device/locate.h"
#include "protocol/address_text.h"
#include "protocol/convert.h"
#include "shell/display.h"
#include "shell/main_window_actions.h"
#include "support/offline_context.h"

namespace kstbell::test {
namespace {

struct LocateTest : ::testing::Test {
    TOffline o;
    TContext& ctx = o.Ctx;
    TMainWindowState& f = ctx.Form1;
};

TEST_F(LocateTest, OneAdapterOnTheDeviceNetworkIsFound) {
    f.Label4 = {"Get Device Linked!!", clNavy};
    f.Timer3Interval = 500;
    EXPECT_EQ(LocateDevice(ctx.Session), 1);
    EXPECT_EQ(ctx.Session.Locate.LocalIp, "192.168.77.23");
    EXPECT_EQ(f.StatusBar1.Panels[1], "IP: 192.168.77.1");
    EXPECT_EQ(f.Memo1, (std::vector<std::string>{"Local IP:192.168.77.23"}));
    EXPECT_EQ(f.Label4.Caption, "Get Device Linked!!");
    EXPECT_EQ(f.Timer3Interval, 100);
    EXPECT_EQ(o.Network.Surveys, 1);
}

TEST_F(LocateTest, AccessPointOfAnotherMakerIsOnlyTraced) {
    o.Network.Bssid = {0x02, 0x4B, 0x7A, 0x3C, 0x90, 0x01};  // fifth byte above the range
    EXPECT_EQ(LocateDevice(ctx.Session), 1);
    EXPECT_EQ(f.Memo1.back(), "Not kQZ product!!");
    o.Network.Bssid = {0x02, 0x4B, 0x7A, 0x3C, 0x58, 0x01};
    f.Memo1.clear();
    LocateDevice(ctx.Session);
    EXPECT_EQ(f.Memo1.size(), 1u);
}

TEST_F(LocateTest, NoWifiOnTheNetworkResetsTheDisplay) {
    EnableDeviceControls(ctx.Form1);
    ctx.Session.Flags.DeviceInfoValid = true;
    f.Label5.Caption = "Locate: Office";
    o.Network.WifiState = kWifiStateDisconnected;
    EXPECT_EQ(LocateDevice(ctx.Session), 0);
    EXPECT_EQ(f.Label4.Caption, "Device not found!!");
    EXPECT_EQ(f.Label4.FontColor, clRed);
    EXPECT_EQ(f.Label5.Caption, "");
    EXPECT_FALSE(f.SpeedButton4.Enabled);
    EXPECT_FALSE(ctx.Session.Flags.DeviceInfoValid);
    EXPECT_EQ(o.Network.Surveys, 2);  // looked twice before giving up
}

TEST_F(LocateTest, TwoAdaptersOnTheNetworkAreAmbiguous) {
    EnableDeviceControls(ctx.Form1);
    o.Network.SecondWifiOnNetwork = true;
    EXPECT_EQ(LocateDevice(ctx.Session), 0);
    EXPECT_EQ(f.Label4.Caption, "Same multiple IP found!!");
    EXPECT_TRUE(f.SpeedButton4.Enabled);  // no display reset for this case
    EXPECT_EQ(ctx.Session.Locate.LocalIp, "");
}

TEST(ParseDeviceAddressTest, PrefixAndParts) {
    EXPECT_EQ(ParseDeviceAddress("10.0.0.7"), "10.0.0.");
    EXPECT_EQ(ParseDeviceAddress("1.2.3.4.5"), "1.2.3.");
    EXPECT_EQ(ParseDeviceAddress("192.168.077.001"), "192.168.077.");
    EXPECT_EQ(ParseDeviceAddress("300.1.1.1"), "300.1.1.");  // not checked further
}

TEST(ParseDeviceAddressTest, PartsThatAreNoIntegerNameThemselves) {
    auto message = [](const std::string& text) {
        try {
            ParseDeviceAddress(text);
        } catch (const TConversionError& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(message("10.0.0."), "'' is not a valid integer value");
    EXPECT_EQ(message("10.0.x.1"), "'x' is not a valid integer value");
    EXPECT_EQ(message("10.0.0"), "'' is not a valid integer value");
    EXPECT_EQ(message("a.b.c.d"), "'a' is not a valid integer value");
    EXPECT_EQ(message(""), "'' is not a valid integer value");
}

TEST(StrToIntTest, AcceptedAndRefusedSpellings) {
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("-7"), -7);
    EXPECT_EQ(StrToInt("  +3"), 3);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    for (const char* bad :
         {"", " ", "1 ", "1a", "2147483648", "99999999999999999999", "--1", "0x", "$", "١", "1.5"})
        EXPECT_THROW(StrToInt(bad), TConversionError) << bad;
}

TEST_F(LocateTest, StaticIpTakesTheTypedAddressAndStartsOver) {
    o.Network.WifiAddress = "10.0.0.20";
    f.Edit2Text = "10.0.0.7";
    EnableDeviceControls(ctx.Form1);
    f.Label4.Caption = "Device not found!!";
    SpeedButton5Click(ctx);
    EXPECT_EQ(ctx.Session.Link.DeviceIp, "10.0.0.7");
    EXPECT_EQ(ctx.Session.Locate.DeviceNetPrefix, "10.0.0.");
    EXPECT_EQ(ctx.Session.Locate.LocalIp, "10.0.0.20");
    EXPECT_EQ(f.Label4.Caption, "");
    EXPECT_FALSE(f.SpeedButton4.Enabled);
    EXPECT_EQ(f.StatusBar2.Panels[0], "");  // the refresh cleared "Change IP => ..."
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, CMD_GET_DEVICE_INFO);
    EXPECT_EQ(f.Memo1[0], "Remote_ip Len => 8");
    EXPECT_EQ(f.Memo1[1], "cc3200_default_IP => 10.0.0.");
}

TEST_F(LocateTest, StaticIpWithABadAddressChangesNothing) {
    f.Edit2Text = "10.0.0.";
    f.StatusBar1.Panels[1] = "IP: 192.168.77.1";
    f.Label5.Caption = "Locate: Office";
    EXPECT_THROW(SpeedButton5Click(ctx), TConversionError);
    EXPECT_EQ(ctx.Session.Link.DeviceIp, "192.168.77.1");
    EXPECT_EQ(ctx.Session.Locate.DeviceNetPrefix, "192.168.77.");
    EXPECT_EQ(f.Label5.Caption, "Locate: Office");
    EXPECT_EQ(f.Memo1, (std::vector<std::string>{"Remote_ip Len => 7"}));
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, 0);
}

TEST_F(LocateTest, FirstActivationLocatesOnceAndQueuesTheInformationRequest) {
    FormActivate(ctx);
    EXPECT_EQ(f.Edit2Text, "192.168.77.1");
    EXPECT_EQ(f.StatusBar1.Panels[1], "IP: 192.168.77.1");
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, CMD_GET_DEVICE_INFO);
    EXPECT_TRUE(o.Host.Boxes.empty());
    const int surveys = o.Network.Surveys;
    FormActivate(ctx);
    EXPECT_EQ(o.Network.Surveys, surveys);
}

TEST_F(LocateTest, FirstActivationWithoutDeviceWarnsOnce) {
    o.Network.WifiState = kWifiStateDisconnected;
    FormActivate(ctx);
    FormActivate(ctx);
    ASSERT_EQ(o.Host.Boxes.size(), 1u);
    EXPECT_EQ(o.Host.Boxes[0].Text, "Please check device whether in AP mode!");
    EXPECT_EQ(o.Host.Boxes[0].Caption, "Device not found");
    EXPECT_EQ(o.Host.Boxes[0].Icon, TMsgIcon::Warning);
    EXPECT_EQ(f.Label4.Caption, "Device not found!!");
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, 0);
}

}  // namespace
}  // namespace kstbell::test
