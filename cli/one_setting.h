#pragma once

// The set verbs: one setting, checked with the setup window's rules before anything is asked or
// sent, then written to every device; it takes effect when the device restarts.

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/config_settings.h"
#include "cli/verb_context.h"

namespace kstbell::cli {

struct TSetting {
    TOutcome Check;        // Done when the values may be written
    std::string Question;  // what is asked before
    std::function<TOutcome(TDeviceSession&)> Write;
    nlohmann::ordered_json Result;  // "setting" and the values
    std::string Human;              // what was written, for a person
    TSettings Written;              // the setting as written, remembered until a restart
};

// The result fields of every set verb, for --help.
inline constexpr std::string_view kSetResultHelp = "setting and its values, restart_needed true";

// The access point's or the station's SSID and, from keyFile when one is given, its key of
// keyType ("wep" or "wpa"; the access point takes WPA only).
TSetting CredentialsSetting(bool accessPoint, const std::string& ssid, const std::string& keyFile,
                            const std::string& keyType);

// Reports a setting that breaks a rule for every device, or asks and writes it.
int WriteOneSetting(TVerbContext& c, TSetting setting);

// Bytes in quotes, escaped for a terminal.
std::string QuotedText(const std::string& bytes);

}  // namespace kstbell::cli
