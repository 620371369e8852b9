#pragma once

// What the config verbs share: the keys given in files, reading a device's settings, the
// differences as JSON and text, and the snapshot file written safely.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/config_diff.h"
#include "cli/verb_context.h"

namespace CLI {
class App;
}

namespace kstbell::cli {

// The files of --ap-key-file and --station-key-file, and the keys read from them.
struct TKeyFiles {
    std::string AccessPoint;
    std::string Station;
};

struct TGivenKeys {
    std::optional<std::string> AccessPoint;
    std::optional<std::string> Station;
};

// Adds --ap-key-file and --station-key-file to a config verb.
void AddKeyFileOptions(CLI::App& verb, TKeyFiles& files);
// Reads the keys of the files given. False, with the failure, when one cannot be read.
bool ReadGivenKeys(const TKeyFiles& files, TGivenKeys& keys, TOutcome& failure);
// Puts the given keys into the credentials that take one.
void UseKeys(TSettings& s, const TGivenKeys& keys);

// A device's snapshot file and the settings read from it.
struct TDeviceSnapshot {
    std::string File;
    TSettings Settings;
};

// Reads the snapshot file of every device (pattern with {device} replaced) before any device is
// contacted, each file once. A device whose file cannot be read is reported (invalid_input, the
// file and the key named) and dropped from c.Devices, and the run then exits 2.
std::map<std::string, TDeviceSnapshot> ReadSnapshots(TVerbContext& c, const std::string& pattern);

// Asks the device for its information and takes its settings; a device that does not give them
// is reported as failed, and false tells the caller to go no further with it.
bool ReadDevice(TVerbContext& c, const std::string& address, TDeviceSession& s, TSettings& current);

// The settings as "label  value" lines under the address.
std::string SettingsBlock(const std::string& address, const TSettings& s);
// [{setting, device, file}] for the kinds, with "pending" where pending has the setting (written
// since the device last restarted), and the same as lines for a person.
nlohmann::ordered_json DifferencesJson(const TSettings& current, const TSettings& wanted,
                                       const TSettings& pending,
                                       const std::vector<TSettingKind>& kinds);
std::string DifferencesText(const TSettings& current, const TSettings& wanted,
                            const TSettings& pending, const std::vector<TSettingKind>& kinds);

// Writes the document whole or not at all (see WriteFileWhole); a file with keys is readable by
// its owner only.
bool WriteSnapshot(const std::string& path, const nlohmann::ordered_json& doc, bool secret,
                   std::string& error);

}  // namespace kstbell::cli
