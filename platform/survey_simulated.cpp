#include "platform/survey_simulated.h"
#include "protocol/text.h"

namespace kstbell {

namespace {

constexpr std::array<std::uint8_t, 6> kWifiMac{0x02, 0x00, 0x5E, 0x10, 0x00, 0x23};
constexpr std::array<std::uint8_t, 6> kSecondMac{0x02, 0x00, 0x5E, 0x10, 0x00, 0x24};

THostAdapter Adapter(const std::string& name, const std::string& address,
                     const std::array<std::uint8_t, 6>& mac, std::uint8_t type) {
    THostAdapter a;
    a.AdapterName = a.FriendlyName = name;
    a.Description = type == kIfTypeLoopback ? "Loopback" : "Simulated Wi-Fi adapter";
    a.Ipv4Text = address;
    if (type != kIfTypeLoopback) {
        a.Mac = mac;
        a.MacText = MacToText(mac.data(), mac.size());
    }
    a.IfType = type;
    a.OperStatus = kOperStatusUp;
    return a;
}

TWifiInterface Wifi(const std::string& name, std::uint8_t state,
                    const std::array<std::uint8_t, 6>& bssid) {
    TWifiInterface w;
    w.GuidText = name;
    w.Description = "Simulated Wi-Fi interface";
    w.State = state;
    if (state == kWifiStateConnected) {
        w.ProfileName = "Simulated horn";
        w.Bssid = bssid;
        w.BssidText = MacToText(bssid.data(), bssid.size());
    }
    return w;
}

}  // namespace

TSimulatedHostNetwork::TSimulatedHostNetwork(std::string wifiAddress,
                                             std::array<std::uint8_t, 6> bssid)
    : WifiAddress(std::move(wifiAddress)), Bssid(bssid) {}

int TSimulatedHostNetwork::SurveyAdapters(TSurveyTables& tables, std::string&) {
    ++Surveys;
    tables.AdapterCount = 0;
    tables.Adapters[tables.AdapterCount++] = Adapter("lo", "127.0.0.1", {}, kIfTypeLoopback);
    tables.Adapters[tables.AdapterCount++] = Adapter("wlan0", WifiAddress, kWifiMac, kIfTypeWifi);
    if (SecondWifiOnNetwork) {
        std::string second = WifiAddress;
        second.back() = second.back() == '9' ? '8' : '9';
        tables.Adapters[tables.AdapterCount++] = Adapter("wlan1", second, kSecondMac, kIfTypeWifi);
    }
    return 0;
}

int TSimulatedHostNetwork::SurveyWifiInterfaces(TSurveyTables& tables) {
    if (!WifiServiceRunning) return 1;
    tables.WifiCount = 0;
    tables.Wifi[tables.WifiCount++] = Wifi("wlan0", WifiState, Bssid);
    if (SecondWifiOnNetwork)
        tables.Wifi[tables.WifiCount++] = Wifi("wlan1", kWifiStateConnected, Bssid);
    return 0;
}

}  // namespace kstbell
