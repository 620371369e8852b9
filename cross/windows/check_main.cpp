// Links the Windows backends into a program so that every Windows API they call is resolved.
// Run on Windows it prints what one survey found.

#include <cstdio>
#include <string>

#include "platform/survey_windows.h"
#include "platform/tcp_client_winsock.h"

namespace {

class TNoEvents : public kstbell::IEventPump {
  public:
    void PumpEvents() override {}
};

}  // namespace

int main() {
    TNoEvents pump;
    kstbell::TWinsockTcpClient client(pump);
    kstbell::TWindowsHostNetwork network;
    kstbell::TSurveyTables tables;
    std::string problem;
    const int adapters = network.SurveyAdapters(tables, problem);
    const int wifi = network.SurveyWifiInterfaces(tables);
    std::printf("adapters: %d (%u) %s\nwifi: %d (%u)\nclient connected: %d\n", adapters,
                static_cast<unsigned>(tables.AdapterCount), problem.c_str(), wifi,
                static_cast<unsigned>(tables.WifiCount), client.Connected() ? 1 : 0);
    for (unsigned i = 0; i < tables.AdapterCount; ++i) {
        const auto& a = tables.Adapters[i];
        std::printf("  %s %s %s %u\n", a.AdapterName.c_str(), a.Ipv4Text.c_str(), a.MacText.c_str(),
                    static_cast<unsigned>(a.IfType));
    }
    for (unsigned i = 0; i < tables.WifiCount; ++i) {
        const auto& w = tables.Wifi[i];
        std::printf("  %s state %u %s %s\n", w.GuidText.c_str(), static_cast<unsigned>(w.State),
                    w.ProfileName.c_str(), w.BssidText.c_str());
    }
    return 0;
}
