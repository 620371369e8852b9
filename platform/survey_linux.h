#pragma once

// The host-network source on Linux: adapters from getifaddrs and sysfs, Wi-Fi interfaces from
// NetworkManager over D-Bus (libsystemd's sd-bus). The join key is the kernel interface name
// ("wlp2s0"): it is the adapter's AdapterName and the Wi-Fi interface's GuidText.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "ports/host_network_source.h"

struct ifaddrs;

namespace kstbell {

class TBusConnection;

inline constexpr const char* kSysClassNet = "/sys/class/net";
// NetworkManager gets this long to answer each call, so a hung service cannot freeze the window.
inline constexpr int kNetworkManagerTimeoutMs = 500;

class TLinuxHostNetwork : public IHostNetworkSource {
  public:
    // busAddress empty: the system bus (DBUS_SYSTEM_BUS_ADDRESS is honoured). Otherwise a D-Bus
    // address such as "unix:path=/run/.../bus". sysfsRoot holds one folder per interface.
    explicit TLinuxHostNetwork(std::string busAddress = {}, std::string sysfsRoot = kSysClassNet);
    ~TLinuxHostNetwork() override;
    TLinuxHostNetwork(const TLinuxHostNetwork&) = delete;
    TLinuxHostNetwork& operator=(const TLinuxHostNetwork&) = delete;

    int SurveyAdapters(TSurveyTables& tables, std::string& problem) override;
    int SurveyWifiInterfaces(TSurveyTables& tables) override;

  private:
    std::string busAddress_;
    std::string sysfsRoot_;
    std::mutex busMutex_;
    std::unique_ptr<TBusConnection> bus_;  // made on the first Wi-Fi survey, remade once broken
};

// Rewrites the adapter table from an interface address list as getifaddrs returns it: one
// adapter per interface name, in the order each name first appears, at most kMaxAdapters.
// sysfsRoot supplies the wireless marker, the operational state and the driver.
void FillAdapters(const ifaddrs* list, const std::string& sysfsRoot, TSurveyTables& tables);

// The Wi-Fi interface state for a NetworkManager device state (NMDeviceState).
std::uint8_t WifiStateFromDeviceState(std::uint32_t deviceState);

// "aa:bb:cc:dd:ee:ff" (either case) into six bytes; false when the text is not that.
bool ParseBssid(const std::string& text, std::array<std::uint8_t, 6>& bytes);

}  // namespace kstbell
