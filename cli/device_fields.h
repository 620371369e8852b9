#pragma once

// The device's information and status replies as JSON results and as human text.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "protocol/device_info.h"

namespace kstbell::cli {

// "open" or "wpa" (the access point), "open", "wep" or "wpa" (the station).
const char* ApKeyTypeName(std::uint8_t type);
const char* StationKeyTypeName(std::uint8_t type);
// "station" for 0, "ap" for any other.
const char* WifiModeName(std::uint8_t mode);

// The fields of InfoJson, for --help.
inline constexpr std::string_view kInfoFieldsHelp =
    "model, supported (model 186), address (as the device reports it), mac, firmware (\"01.0A\": "
    "major.minor, two hex digits each), firmware_major, firmware_minor, sd (null or {size_gb, "
    "free_gb}), location, ap_ssid, ap_key_type (open|wpa), station_ssid, station_key_type "
    "(open|wep|wpa), wifi_mode (ap|station), static_ip (null or {ip, mask, gateway}), "
    "modbus_port, modbus_idle_timeout_s (seconds), output, input, rssi_dbm (dBm, null when "
    "unknown), device_mode, armed";

// Every field of an information reply (see the result fields in docs/kstbellctl.md).
nlohmann::ordered_json InfoJson(const TDeviceInfo& info);
// Output, input, RSSI and armed of a status reply.
nlohmann::ordered_json StatusJson(const TDeviceStatus& status);

// An indented block of "label  value" lines for the information, device texts escaped.
std::string InfoBlock(const std::string& device, const TDeviceInfo& info);
// The status as one table row, and the table's heading.
std::string StatusHeading();
std::string StatusRow(const std::string& device, const TDeviceStatus& status);
// "-48 dBm", or "unknown" when the device sent no value.
std::string RssiText(std::uint16_t raw);

}  // namespace kstbell::cli
