#pragma once

// Writing the settings that differ, each with the setup window's own operation.

#include <vector>

#include "cli/config_diff.h"
#include "device/outcome.h"

namespace kstbell {
class TDeviceSession;
}

namespace kstbell::cli {

// Checks, before anything is sent, that every setting in steps can be written as the setup
// window would write it: texts and numbers within their rules, and a key for credentials that
// need one. Done, or InvalidInput whose message names the setting.
TOutcome CheckPlan(const std::vector<TSettingKind>& steps, const TSettings& wanted);

// Writes one setting of wanted (the Wi-Fi mode: the device restarts at once; a station without
// an SSID: none configured, its files deleted).
TOutcome WriteSetting(TDeviceSession& s, const TSettings& wanted, TSettingKind kind);

}  // namespace kstbell::cli
