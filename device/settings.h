#pragma once

// The device's configuration as operations: each checks its values, locates the device, then
// writes or deletes configuration files or sends a command, and says what happened. New files
// take effect when the device restarts.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/outcome.h"
#include "text/control.h"

namespace kstbell {

class TDeviceSession;

inline constexpr std::size_t kMaxSsid = 31;
inline constexpr std::size_t kMinKey = 8;
inline constexpr std::size_t kMaxKey = 16;
inline constexpr std::size_t kMaxLocation = 31;
inline constexpr std::size_t kMaxWebKey = 5;
inline constexpr int kMaxModbusTimeout = 65000;
inline constexpr int kSettingPauseMs = 200;  // between the files of one setting
inline constexpr int kModbusNoticePauseMs = 300;

// Key types as the device keeps them.
inline constexpr std::uint8_t kKeyOpen = 0;
inline constexpr std::uint8_t kKeyWep = 1;
inline constexpr std::uint8_t kKeyWpa = 2;

// The configuration files.
inline constexpr const char* kApSsidFile = "/local/ap_ssid.cfg";
inline constexpr const char* kApKeyFile = "/local/ap_key.cfg";
inline constexpr const char* kStaSsidFile = "/local/sta_ssid.cfg";
inline constexpr const char* kStaKeyFile = "/local/sta_key.cfg";
inline constexpr const char* kStaKeyTypeFile = "/local/sta_keyT.cfg";
inline constexpr const char* kStaticIpFile = "/local/sta_ip.cfg";
inline constexpr const char* kLocationFile = "/local/locate.cfg";
inline constexpr const char* kModbusFile = "/local/mbport.cfg";

// SSID, key type and key of the access point (open or WPA/WPA2) or of the station (open, WEP
// or WPA/WPA2). Texts are the bytes sent.
struct TCredentials {
    std::string Ssid;
    std::uint8_t KeyType = kKeyOpen;
    std::string Key;
};

struct TStaticAddress {
    std::array<std::uint8_t, 4> Ip{};
    std::array<std::uint8_t, 4> Mask{};
    std::array<std::uint8_t, 4> Gateway{};
};

struct TModbusSettings {
    std::uint16_t Port = 502;
    std::uint16_t IdleTimeout = 30;  // seconds
};

// True when text holds a control character (a byte from 0 to 31, or 127): no setting may hold
// one, as the device would store it and show it as it is.
using text::HasControlByte;

// Checks. Done when the values may be written; otherwise InvalidInput naming the rule (and, for
// a control character, the field).
TOutcome CheckCredentials(const TCredentials& c);
TOutcome CheckLocation(const std::string& location);
TOutcome CheckWebKey(const std::string& key);
// Reads the port and idle timeout as typed, in this order: port an integer, not the device's
// command port or 80, 1 to 65535; timeout an integer, 1 to 65000.
TOutcome ParseModbusSettings(const std::string& port, const std::string& timeout,
                             TModbusSettings& out);
// Reads three dotted quads; InvalidInput (DottedQuad, Message: the text) for the first that is
// not one.
TOutcome ParseStaticAddress(const std::string& ip, const std::string& mask,
                            const std::string& gateway, TStaticAddress& out);

// The file contents.
std::string StaticAddressFile(const TStaticAddress& a);
std::string ModbusFile(const TModbusSettings& m);

// Operations. Each locates the device first: NotLocated when it was not found and nothing was
// sent. A setting of several files stops at the first that fails.
TOutcome WriteApCredentials(TDeviceSession& s, const TCredentials& c);
TOutcome WriteStationCredentials(TDeviceSession& s, const TCredentials& c);
// No station configured, as the device comes from the factory: its key, key type and SSID files
// deleted.
TOutcome ClearStationCredentials(TDeviceSession& s);
TOutcome WriteStaticAddress(TDeviceSession& s, const TStaticAddress& a);
TOutcome DeleteStaticAddress(TDeviceSession& s);
TOutcome WriteLocation(TDeviceSession& s, const std::string& location);
// Writes the settings file, then tells the device of it.
TOutcome WriteModbusSettings(TDeviceSession& s, const TModbusSettings& m);
TOutcome SendWebLoginKey(TDeviceSession& s, const std::string& key);
TOutcome SendModbusUpdated(TDeviceSession& s);

}  // namespace kstbell
