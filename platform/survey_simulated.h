#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ports/host_network_source.h"

namespace kstbell {

// A host with a loopback adapter and one Wi-Fi interface "wlan0" that is connected to the
// device's access point. Used by the simulated program and by tests, which can take the
// interface off the network or add a second one.
class TSimulatedHostNetwork : public IHostNetworkSource {
  public:
    TSimulatedHostNetwork(std::string wifiAddress, std::array<std::uint8_t, 6> bssid);

    int SurveyAdapters(TSurveyTables& tables, std::string& problem) override;
    int SurveyWifiInterfaces(TSurveyTables& tables) override;

    std::string WifiAddress;
    std::array<std::uint8_t, 6> Bssid;
    std::uint8_t WifiState = kWifiStateConnected;
    bool SecondWifiOnNetwork = false;  // a second connected Wi-Fi adapter on the same network
    bool WifiServiceRunning = true;
    int Surveys = 0;  // adapter surveys run so far
};

}  // namespace kstbell
