#pragma once

// The two replies that describe the device: the information reply and the short status reply,
// decoded into plain values. Pure functions over the reply area.

#include <array>
#include <cstdint>
#include <string>

#include "protocol/frame.h"

namespace kstbell {

// An SD card figure in gigabytes: whole and hundredths, as the device sends them.
struct TSdFigure {
    std::uint8_t Whole = 0;
    std::uint8_t Hundredths = 0;
};

// Every field of an information reply. Texts are the device's raw bytes.
struct TDeviceInfo {
    std::uint8_t Model = 0;
    std::array<std::uint8_t, 4> Address{};  // first part first
    std::array<std::uint8_t, 6> Mac{};
    bool SdPresent = false;
    TSdFigure SdSize;
    TSdFigure SdFree;
    std::uint8_t FirmwareMajor = 0;
    std::uint8_t FirmwareMinor = 0;
    std::string Location;
    std::string ApSsid;
    std::uint8_t ApKeyType = 0;  // 0 open, other WPA/WPA2
    std::string StaSsid;
    std::uint8_t StaKeyType = 0;  // 0 open, 1 WEP, other WPA/WPA2
    std::uint8_t WifiMode = 0;    // 0 station, other access point
    std::uint8_t Output = 0;      // relay state as reported
    std::uint8_t Input = 0;       // DI0 state as reported
    bool StaticIpEnabled = false;
    std::array<std::uint8_t, 4> StaticIp{};
    std::array<std::uint8_t, 4> NetMask{};
    std::array<std::uint8_t, 4> Gateway{};
    std::uint16_t ModbusPort = 502;
    std::uint16_t ModbusIdleTimeout = 120;  // seconds
    std::uint16_t RssiRaw = 0;              // see RssiKnown
    std::uint8_t DeviceMode = 0;
    std::uint8_t Armed = 0;
};

// Output, input, signal strength and armed state of a status reply.
struct TDeviceStatus {
    std::uint8_t Output = 0;
    std::uint8_t Input = 0;
    std::uint16_t RssiRaw = 0;
    std::uint8_t Armed = 0;
};

inline constexpr std::size_t kMaxDeviceText = 31;

// Decodes an information reply. Fields beyond what arrived read as they lie in the area.
TDeviceInfo DecodeInfoReply(const TReplyFrame& reply);
TDeviceStatus DecodeStatusReply(const TReplyFrame& reply);

// The address the device reports, as dotted decimal text.
std::string AddressText(const std::array<std::uint8_t, 4>& address);

// True when a raw signal strength is a value: the device sends the negative dBm value as a
// 16-bit two's complement number, so a raw value below 32768 (0 included, which means that no
// value is known) is none.
inline bool RssiKnown(std::uint16_t raw) {
    return raw >= 32768;
}
inline int RssiDbm(std::uint16_t raw) {
    return int{raw} - 65536;
}

}  // namespace kstbell
