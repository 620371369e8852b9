#pragma once

// The device's information and status replies as JSON results and as human text.

#include <string>

#include <nlohmann/json.hpp>

#include "protocol/device_info.h"

namespace kstbell::cli {

// "open" or "wpa" (the access point), "open", "wep" or "wpa" (the station).
const char* ApKeyTypeName(std::uint8_t type);
const char* StationKeyTypeName(std::uint8_t type);
// "station" for 0, "ap" for any other.
const char* WifiModeName(std::uint8_t mode);

// Every field of an information reply (see the README's schema).
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
