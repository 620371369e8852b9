#pragma once

// How a device's settings differ from a snapshot's, setting by setting, in the order a snapshot
// is applied.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/config_settings.h"

namespace kstbell::cli {

// The settings in the order they are written: the files first, the station's and access
// point's credentials after the rest, the Wi-Fi mode last because the device restarts on it
// at once.
enum class TSettingKind { Location, Modbus, StaticIp, Station, AccessPoint, WifiMode };

// "location", "modbus", "static_ip", "station", "access_point", "wifi_mode".
const char* SettingName(TSettingKind kind);

// The settings that wanted has and that differ from current (which has every setting). Keys
// are not compared: the device never reports them.
std::vector<TSettingKind> Differences(const TSettings& current, const TSettings& wanted);

// One setting of settings as JSON (as in a snapshot, without keys) and as text for a person.
nlohmann::ordered_json SettingJson(const TSettings& settings, TSettingKind kind);
std::string SettingText(const TSettings& settings, TSettingKind kind);

// Names joined by ", ".
std::string SettingNames(const std::vector<TSettingKind>& kinds);

}  // namespace kstbell::cli
