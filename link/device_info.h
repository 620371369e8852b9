#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kstbell {

// Device configuration and status from the last complete get-information reply. Texts are the
// device's raw bytes.
struct TDeviceInfo {
    std::string Location;
    std::string ApSsid;
    std::uint8_t ApKeyType = 0;  // 0 open, other WPA/WPA2
    std::string StaSsid;
    std::uint8_t StaKeyType = 0;  // 0 open, 1 WEP, other WPA/WPA2
    std::uint8_t WifiMode = 0;    // 0 station, other access point
    bool StaticIpEnabled = false;
    std::array<std::uint8_t, 4> StaticIp{};
    std::array<std::uint8_t, 4> NetMask{};
    std::array<std::uint8_t, 4> Gateway{};
    std::uint16_t ModbusPort = 502;
    std::uint16_t ModbusIdleTimeout = 120;
    std::uint8_t DeviceMode = 0;
    std::uint8_t Armed = 0;
};

// Flags kept beside the device information.
struct TDeviceFlags {
    bool SupportedModel = false;
    bool HasOutput = false;
    bool HasInput = false;
    bool DeviceInfoValid = false;
    bool DeviceInfoShown = false;
};

}  // namespace kstbell
