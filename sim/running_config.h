#pragma once

// The configuration the device runs with: read from its "/local/" files when it starts, built-in
// defaults for every file that is missing or malformed.

#include <array>
#include <cstdint>
#include <string>

#include "sim/flash_store.h"

namespace kstbell::sim {

// The device's text fields hold at most 31 bytes.
inline constexpr std::size_t kMaxText = 31;

namespace paths {
inline constexpr const char* kLocalPrefix = "/local/";
inline constexpr const char* kApSsid = "/local/ap_ssid.cfg";
inline constexpr const char* kApKey = "/local/ap_key.cfg";
inline constexpr const char* kStaSsid = "/local/sta_ssid.cfg";
inline constexpr const char* kStaKey = "/local/sta_key.cfg";
inline constexpr const char* kStaKeyType = "/local/sta_keyT.cfg";
inline constexpr const char* kStaIp = "/local/sta_ip.cfg";
inline constexpr const char* kLocation = "/local/locate.cfg";
inline constexpr const char* kModbus = "/local/mbport.cfg";
// Kept by the device itself for the Wi-Fi mode and web login key commands.
inline constexpr const char* kWifiMode = "/local/wifi_mode.cfg";
inline constexpr const char* kWebKey = "/local/web_key.cfg";
inline constexpr const char* kFirmware = "/sys/mcuimg.bin";
}  // namespace paths

namespace defaults {
inline constexpr const char* kApSsid = "KST-06-QZ-603C01";
inline constexpr const char* kLocation = "Office";
inline constexpr std::uint16_t kModbusPort = 502;
inline constexpr std::uint16_t kModbusIdleTimeout = 120;
inline constexpr std::uint8_t kWifiModeAccessPoint = 2;
inline constexpr std::uint8_t kKeyTypeWpa = 2;
}  // namespace defaults

struct TRunningConfig {
    std::string ApSsid = defaults::kApSsid;
    std::uint8_t ApKeyType = 0;
    std::string StaSsid;
    std::uint8_t StaKeyType = 0;
    std::uint8_t WifiMode = defaults::kWifiModeAccessPoint;
    bool StaticIp = false;
    std::array<std::uint8_t, 12> StaticAddressing{};  // address, net mask, gateway
    std::string Location = defaults::kLocation;
    std::uint16_t ModbusPort = defaults::kModbusPort;
    std::uint16_t ModbusIdleTimeout = defaults::kModbusIdleTimeout;
    std::string WebLoginKey;
};

TRunningConfig LoadRunningConfig(const TFileMap& files);

}  // namespace kstbell::sim
