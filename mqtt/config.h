#pragma once

// Everything the bridge is told: where the broker is and how to log in, its topics, how often
// it polls, and which horns it bridges.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/session.h"

namespace kstbell::mqtt {

struct TBrokerUrl {
    bool Tls = false;  // mqtts://
    std::string Host;
    std::uint16_t Port = 1883;
};

// "mqtt://HOST[:PORT]" (port 1883) or "mqtts://HOST[:PORT]" (port 8883); HOST a name, an IPv4
// address or a bracketed IPv6 address. False, with the reason, for anything else; a user name
// or password in it (USER:PASS@) is refused without repeating it.
bool ParseBrokerUrl(const std::string& text, TBrokerUrl& url, std::string& error);

// One entry of the device list: an address or a range, with a name for a single address and
// the device class of the horns' input as the automation system knows them (empty: none).
struct TDeviceEntry {
    std::string Target;
    std::string Name;
    std::string InputClass;
};

inline constexpr std::size_t kDefaultMaxHorns = 4096;
inline constexpr std::size_t kMaxBridgeHorns = 1 << 20;

struct TBridgeConfig {
    std::string BrokerUrl = "mqtt://localhost";
    std::string ClientId;  // empty: "kstbell-bridge-HOST-BASE"
    std::string Username;
    std::string PasswordFile;  // the password is the file's first line
    std::string CaFile;        // empty with mqtts://: the system's certificates
    std::string CertFile;
    std::string KeyFile;
    int KeepAliveSeconds = 30;

    std::string BaseTopic = "kstbell";
    std::string DiscoveryPrefix = "homeassistant";

    int PollPeriodMs = 3100;
    std::uint16_t DevicePort = kDefaultDevicePort;
    std::size_t Parallel = 64;
    int ConnectTimeoutMs = 1500;
    int ReplyWaitMs = 1000;
    // Every this many answered polls the information is asked again (location, firmware).
    int InfoEveryPolls = 100;

    std::vector<TDeviceEntry> Devices;
    // The most horns one bridge takes (addresses, repeats counted): each costs memory and a
    // share of every poll period.
    std::size_t MaxHorns = kDefaultMaxHorns;
};

// A device with its configured name and input class, after the ranges are expanded.
struct THornEntry {
    std::string Address;
    std::string Name;
    std::string InputClass;
};

// Expands the device list (repeats dropped, each address where it first comes). An address
// given alone takes its name and input class from that entry (the last, if several), not from
// a list or range that also holds it. False, with the reason, for an entry that is no address
// or range, or a list of more than maxHorns addresses.
bool ExpandDevices(const std::vector<TDeviceEntry>& devices, std::size_t maxHorns,
                   std::vector<THornEntry>& horns, std::string& error);
// The same, and for each horn the index of the device entry it came from.
bool ExpandDevices(const std::vector<TDeviceEntry>& devices, std::size_t maxHorns,
                   std::vector<THornEntry>& horns, std::vector<std::size_t>& entryOf,
                   std::string& error);

}  // namespace kstbell::mqtt
