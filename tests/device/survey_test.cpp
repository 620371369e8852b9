#include <gtest/gtest.h>

#include <stdexcept>

#include "device/locate.h"
#include "protocol/text.h"
#include "support/offline_context.h"

namespace kstbell::test {
namespace {

// A host network made of the adapters and interfaces a test lists.
class TListedNetwork : public IHostNetworkSource {
  public:
    int SurveyAdapters(TSurveyTables& t, std::string& problem) override {
        if (ThrowAdapters) throw std::runtime_error("adapter query broke");
        if (!AdapterProblem.empty()) {
            t.AdapterCount = 0;
            problem = AdapterProblem;
            return 0;
        }
        t.AdapterCount = 0;
        for (const auto& a : Adapters)
            if (t.AdapterCount < kMaxAdapters) t.Adapters[t.AdapterCount++] = a;
        return 0;
    }
    int SurveyWifiInterfaces(TSurveyTables& t) override {
        if (!WifiService) return 1;
        t.WifiCount = 0;
        for (const auto& w : Wifi)
            if (t.WifiCount < kMaxWifiInterfaces) t.Wifi[t.WifiCount++] = w;
        return 0;
    }

    std::vector<THostAdapter> Adapters;
    std::vector<TWifiInterface> Wifi;
    bool WifiService = true;
    bool ThrowAdapters = false;
    std::string AdapterProblem;
};

THostAdapter AdapterOf(const std::string& name, const std::string& address) {
    THostAdapter a;
    a.AdapterName = a.FriendlyName = name;
    a.Ipv4Text = address;
    a.IfType = kIfTypeWifi;
    return a;
}

TWifiInterface WifiOf(const std::string& name, std::uint8_t state) {
    TWifiInterface w;
    w.GuidText = name;
    w.State = state;
    if (state == kWifiStateConnected) {
        w.Bssid = {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01};
        w.BssidText = "02:4B:7A:3C:60:01";
        w.ProfileName = name + "-profile";
    }
    return w;
}

struct SurveyTest : ::testing::Test {
    TFakeHost host;
    TFakeTcpClient tcp;
    TListedNetwork net;
    TContext ctx{tcp, host, net};
    std::uint8_t Survey(const std::string& prefix = "192.168.77.") {
        return SurveyHostNetwork(ctx.Session, prefix);
    }
};

TEST_F(SurveyTest, OnlyConnectedWifiAdaptersOnThePrefixMatch) {
    net.Adapters = {AdapterOf("eth0", "192.168.77.50"), AdapterOf("wlan0", "192.168.77.23"),
                    AdapterOf("wlan1", "192.168.77.24"), AdapterOf("wlan2", "192.168.7.70")};
    net.Wifi = {WifiOf("wlan0", kWifiStateConnected), WifiOf("wlan1", kWifiStateAssociating),
                WifiOf("wlan2", kWifiStateConnected)};
    ASSERT_EQ(Survey(), 1);
    const auto& m = ctx.Session.Survey.Matches[0];
    EXPECT_EQ(m.Ipv4Text, "192.168.77.23");
    EXPECT_EQ(m.GuidText, "wlan0");
    EXPECT_EQ(m.ProfileName, "wlan0-profile");
    EXPECT_EQ(m.BssidText, "02:4B:7A:3C:60:01");
    EXPECT_EQ(ctx.Session.Survey.ConnectedCount, 2);
}

TEST_F(SurveyTest, PrefixComparisonIsOnTheLeadingText) {
    net.Wifi = {WifiOf("wlan0", kWifiStateConnected)};
    for (auto [address, matches] : {std::pair{"192.168.77.100", 1},
                                    {"192.168.7.70", 0},
                                    {"192.168.77", 0},
                                    {"", 0},
                                    {"192.168.77.", 1}}) {
        net.Adapters = {AdapterOf("wlan0", address)};
        EXPECT_EQ(Survey(), matches) << address;
    }
    // The join is exact on the name.
    net.Adapters = {AdapterOf("WLAN0", "192.168.77.23")};
    EXPECT_EQ(Survey(), 0);
}

TEST_F(SurveyTest, EveryMatchIsCountedButOnlyThreeAreKept) {
    for (int i = 0; i < 5; ++i) {
        const std::string name = "wlan" + std::to_string(i);
        net.Adapters.push_back(AdapterOf(name, "192.168.77." + std::to_string(20 + i)));
        net.Wifi.push_back(WifiOf(name, kWifiStateConnected));
    }
    EXPECT_EQ(Survey(), 5);
    EXPECT_EQ(ctx.Session.Survey.Matches[2].Ipv4Text, "192.168.77.22");
}

TEST_F(SurveyTest, TablesBeyondTheirCapacityAreCut) {
    for (int i = 0; i < 30; ++i) {
        const std::string name = "wlan" + std::to_string(i);
        net.Adapters.push_back(AdapterOf(name, "10.0.0." + std::to_string(i)));
        net.Wifi.push_back(WifiOf(name, kWifiStateConnected));
    }
    EXPECT_EQ(Survey("10.0.0."), 10);  // ten connected interfaces are listed
    EXPECT_EQ(ctx.Session.Survey.AdapterCount, kMaxAdapters);
}

TEST_F(SurveyTest, WithoutWifiServiceThePreviousInterfacesStand) {
    net.Adapters = {AdapterOf("wlan0", "192.168.77.23")};
    net.WifiService = false;
    EXPECT_EQ(Survey(), 0);  // first run: nothing known
    net.WifiService = true;
    net.Wifi = {WifiOf("wlan0", kWifiStateConnected)};
    EXPECT_EQ(Survey(), 1);
    net.WifiService = false;
    net.Wifi.clear();
    EXPECT_EQ(Survey(), 1);  // the last enumeration still holds
    EXPECT_TRUE(host.Boxes.empty());
}

TEST_F(SurveyTest, FailingAdapterQueryGivesAnEmptyTableAndATrace) {
    net.Adapters = {AdapterOf("wlan0", "192.168.77.23")};
    net.Wifi = {WifiOf("wlan0", kWifiStateConnected)};
    EXPECT_EQ(Survey(), 1);
    net.AdapterProblem = "query failed with 8";
    EXPECT_EQ(Survey(), 0);
    EXPECT_EQ(ctx.Form1.Memo1.back(), "Adapters: query failed with 8");
    EXPECT_TRUE(host.Boxes.empty());
}

TEST_F(SurveyTest, ExceptionsAreShownAndTheSurveyGoesOn) {
    net.Adapters = {AdapterOf("wlan0", "192.168.77.23")};
    net.Wifi = {WifiOf("wlan0", kWifiStateConnected)};
    Survey();
    net.ThrowAdapters = true;
    EXPECT_EQ(Survey(), 1);  // the adapter table of the last run is joined
    ASSERT_EQ(host.Boxes.size(), 1u);
    EXPECT_EQ(host.Boxes[0].Text, "Adapters: adapter query broke");
    EXPECT_EQ(host.Boxes[0].Icon, TMsgIcon::Error);
}

TEST(MacTextTest, EveryByteAsTwoHexDigits) {
    const std::uint8_t mac[8] = {0x00, 0x1A, 0xFF, 0x02, 0x4b, 0x7a, 0x3c, 0x01};
    EXPECT_EQ(MacToText(mac, 8), "00:1A:FF:02:4B:7A:3C:01");
    EXPECT_EQ(MacToText(mac, 0), "");
}

}  // namespace
}  // namespace kstbell::test
