#pragma once

// A device's settings, as the setup window edits them, and their snapshot file: what the device
// reports, readable, with the settings in a part of their own that can be compared and applied.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "device/settings.h"
#include "protocol/device_info.h"

namespace kstbell::cli {

inline constexpr const char* kSnapshotFormat = "kstbellctl-config/1";

struct TStaticSetting {
    bool Enabled = false;
    TStaticAddress Address;  // when enabled
};

// Each setting may be absent: a snapshot file may leave some out. Key types are kKeyOpen,
// kKeyWep (station only) or kKeyWpa; a key is empty when it is not known (the device never
// reports it).
struct TSettings {
    std::optional<std::string> Location;
    std::optional<TCredentials> AccessPoint;
    std::optional<TCredentials> Station;
    std::optional<TStaticSetting> StaticIp;
    std::optional<TModbusSettings> Modbus;
    std::optional<bool> AccessPointMode;
};

// Every setting the device reports, key types reduced to the three the device keeps.
TSettings SettingsOf(const TDeviceInfo& info);

// {"location", "access_point", "station", "static_ip", "modbus", "wifi_mode"} for the settings
// present; keys only where known.
nlohmann::ordered_json SettingsJson(const TSettings& settings);
// The snapshot document: its format, the address it was read from, everything the device
// reported ("device", as info prints it) and the settings.
nlohmann::ordered_json SnapshotJson(const std::string& address, const TDeviceInfo& info,
                                    const TSettings& settings);

// The file name for one device: every "{device}" in pattern replaced by its address.
std::string FileForDevice(const std::string& pattern, const std::string& address);

}  // namespace kstbell::cli
