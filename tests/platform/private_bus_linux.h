#pragma once

// A D-Bus daemon of our own on a socket in a temporary folder, and a NetworkManager mock
// (python3-dbusmock's "networkmanager" template) on it. Nothing here touches the machine's
// system bus or its NetworkManager. Failures throw std::runtime_error with a readable reason.

#include <sys/types.h>

#include <cstdint>
#include <string>

struct sd_bus;

namespace kstbell::test {

// NetworkManager device states used by the tests.
inline constexpr std::uint32_t kNmStateDisconnected = 30;
inline constexpr std::uint32_t kNmStateNeedAuth = 60;
inline constexpr std::uint32_t kNmStateActivated = 100;

class TPrivateBusLinux {
  public:
    TPrivateBusLinux() = default;
    ~TPrivateBusLinux();
    TPrivateBusLinux(const TPrivateBusLinux&) = delete;
    TPrivateBusLinux& operator=(const TPrivateBusLinux&) = delete;

    // Starts dbus-daemon and waits until it accepts connections.
    void StartBus();
    // Starts the NetworkManager mock on the bus and waits until it owns its name.
    void StartNetworkManager();
    // Kills the mock (the bus stays up).
    void StopNetworkManager();
    // Stops the mock without ending it: it keeps its name on the bus and answers nothing.
    void FreezeNetworkManager();
    // Lets a frozen mock run again; it then answers what it was asked meanwhile, late.
    void ThawNetworkManager();
    // Kills everything and removes the temporary folder. Safe to call more than once.
    void Stop();

    const std::string& Address() const { return address_; }

    // Mock control; each returns the object path the mock created.
    std::string AddWifiDevice(const std::string& name, const std::string& interface,
                              std::uint32_t state);
    std::string AddEthernetDevice(const std::string& name, const std::string& interface,
                                  std::uint32_t state);
    // A Wi-Fi device that is connected to an access point with the given SSID and BSSID. The
    // connection profile is named after the SSID.
    std::string AddConnectedWifi(const std::string& name, const std::string& interface,
                                 const std::string& ssid, const std::string& bssid);
    // Takes away the access point of a device made by AddConnectedWifi: its connection can no
    // longer be queried, while the device still reports itself activated.
    void RemoveAccessPoint(const std::string& name);

  private:
    std::string LogTail() const;

    std::string dir_;
    std::string address_;
    sd_bus* control_ = nullptr;  // this process's own connection, for the mock's controls
    pid_t busPid_ = -1;
    pid_t mockPid_ = -1;
};

}  // namespace kstbell::test
