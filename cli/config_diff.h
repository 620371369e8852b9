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

// Every kind, in the order of writing.
const std::vector<TSettingKind>& AllSettingKinds();

// Whether settings has the setting of kind.
bool HasSetting(const TSettings& settings, TSettingKind kind);
// Whether wanted has the setting and current has not, or another value. Keys are not compared
// (the device never reports them); two stations without an SSID are the same whatever their
// key types (no station configured).
bool SettingDiffers(const TSettings& current, const TSettings& wanted, TSettingKind kind);
// Sets into's setting of kind to from's (absent when from has none).
void CopySetting(TSettings& into, const TSettings& from, TSettingKind kind);

// The settings that wanted has and that differ from current (which has every setting), or from
// pending: what was written to the device since it last restarted, in force after the next.
std::vector<TSettingKind> Differences(const TSettings& current, const TSettings& wanted,
                                      const TSettings& pending = {});

// One setting of settings as JSON (as in a snapshot, without keys) and as text for a person.
nlohmann::ordered_json SettingJson(const TSettings& settings, TSettingKind kind);
std::string SettingText(const TSettings& settings, TSettingKind kind);

// Names joined by ", ".
std::string SettingNames(const std::vector<TSettingKind>& kinds);

}  // namespace kstbell::cli
