#pragma once

#ifdef _WIN32

#include <string>

#include "ports/host_network_source.h"

namespace kstbell {

// The host's adapters from the IP Helper API and its Wi-Fi interfaces from the Native Wi-Fi
// API. Text from the system is converted to narrow text with the default code page.
class TWindowsHostNetwork : public IHostNetworkSource {
  public:
    // First size of the adapter query buffer, and how often a buffer that proved too small is
    // replaced by one of the size the system asked for.
    static constexpr unsigned long kFirstBufferBytes = 15000;
    static constexpr int kQueryAttempts = 3;

    int SurveyAdapters(TSurveyTables& tables, std::string& problem) override;
    int SurveyWifiInterfaces(TSurveyTables& tables) override;
};

}  // namespace kstbell

#endif  // _WIN32
