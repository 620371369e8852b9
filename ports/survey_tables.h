#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kstbell {

inline constexpr std::size_t kMaxAdapters = 20;
inline constexpr std::size_t kMaxWifiInterfaces = 20;
inline constexpr std::size_t kMaxConnected = 10;
inline constexpr std::size_t kMaxMatches = 3;

// Interface types and states as the survey reports them.
inline constexpr std::uint8_t kIfTypeEthernet = 6;
inline constexpr std::uint8_t kIfTypeLoopback = 24;
inline constexpr std::uint8_t kIfTypeWifi = 71;
inline constexpr std::uint8_t kOperStatusUp = 1;
inline constexpr std::uint8_t kWifiStateNotReady = 0;
inline constexpr std::uint8_t kWifiStateConnected = 1;
inline constexpr std::uint8_t kWifiStateDisconnecting = 3;
inline constexpr std::uint8_t kWifiStateDisconnected = 4;
inline constexpr std::uint8_t kWifiStateAssociating = 5;
inline constexpr std::uint8_t kWifiStateAuthenticating = 7;

// One IPv4 network adapter of this PC.
struct THostAdapter {
    std::string AdapterName;  // the join key: equals GuidText of its Wi-Fi interface
    std::string Ipv4Text;     // first unicast address if it is IPv4, else empty
    std::string Description;
    std::string FriendlyName;
    std::string MacText;  // "AA:BB:..", every byte of the physical address
    std::array<std::uint8_t, 6> Mac{};
    std::uint8_t IfType = 0;
    std::uint8_t OperStatus = 0;
};

// One Wi-Fi interface of this PC.
struct TWifiInterface {
    std::string GuidText;  // the identifier that AdapterName of its adapter equals
    std::string Description;
    std::uint8_t State = kWifiStateNotReady;
    std::string ProfileName;  // connected only
    std::string BssidText;    // connected only
    std::array<std::uint8_t, 6> Bssid{};
};

// A connected Wi-Fi interface whose adapter has an address on the device network.
struct TNetworkMatch {
    std::string Ipv4Text;
    std::string FriendlyName;
    std::string MacText;
    std::array<std::uint8_t, 6> Mac{};
    std::uint8_t IfType = 0;
    std::string GuidText;
    std::string Description;
    std::uint8_t State = 0;
    std::string ProfileName;
    std::string BssidText;
    std::array<std::uint8_t, 6> Bssid{};
};

// The survey's tables. A run rewrites a table from slot 0 and sets its count; slots at or
// beyond the count are stale and never read.
struct TSurveyTables {
    std::array<THostAdapter, kMaxAdapters> Adapters;
    std::uint8_t AdapterCount = 0;
    std::array<TWifiInterface, kMaxWifiInterfaces> Wifi;
    std::uint8_t WifiCount = 0;
    std::array<std::uint8_t, kMaxConnected> Connected{};
    std::uint8_t ConnectedCount = 0;
    std::array<TNetworkMatch, kMaxMatches> Matches;
    std::uint8_t MatchCount = 0;  // counts every match, also those beyond the stored three
};

}  // namespace kstbell
