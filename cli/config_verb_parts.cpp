#include "cli/config_verb_parts.h"

#include <CLI/CLI.hpp>

#include "cli/key_file.h"
#include "cli/safe_file.h"
#include "cli/snapshot_reader.h"
#include "device/session.h"

namespace kstbell::cli {

void AddKeyFileOptions(CLI::App& verb, TKeyFiles& files) {
    verb.add_option("--ap-key-file", files.AccessPoint, "the access point's key, from this file")
        ->type_name("FILE");
    verb.add_option("--station-key-file", files.Station, "the station's key, from this file")
        ->type_name("FILE");
}

bool ReadGivenKeys(const TKeyFiles& files, TGivenKeys& keys, TOutcome& failure) {
    const std::pair<const std::string*, std::optional<std::string>*> pairs[] = {
        {&files.AccessPoint, &keys.AccessPoint}, {&files.Station, &keys.Station}};
    for (auto [path, key] : pairs) {
        if (path->empty()) continue;
        std::string bytes;
        std::string error;
        if (!ReadKeyFile(*path, bytes, error)) {
            failure = Invalid(TInvalid::None, error);
            return false;
        }
        *key = bytes;
    }
    return true;
}

void UseKeys(TSettings& s, const TGivenKeys& keys) {
    if (s.AccessPoint && keys.AccessPoint && s.AccessPoint->KeyType != kKeyOpen)
        s.AccessPoint->Key = *keys.AccessPoint;
    if (s.Station && keys.Station && s.Station->KeyType != kKeyOpen) s.Station->Key = *keys.Station;
}

std::map<std::string, TDeviceSnapshot> ReadSnapshots(TVerbContext& c, const std::string& pattern) {
    struct TFile {
        TSettings Settings;
        std::string Error;
        std::vector<std::string> Devices;
    };
    std::map<std::string, TFile> files;
    std::vector<std::string> order;  // the files in the order of their first device
    for (const auto& address : c.Devices) {
        const std::string path = FileForDevice(pattern, address);
        auto [it, added] = files.try_emplace(path);
        if (added) {
            order.push_back(path);
            if (!ReadSnapshotFile(path, it->second.Settings, it->second.Error) &&
                it->second.Error.empty())
                it->second.Error = "cannot read the snapshot " + path;
        }
        it->second.Devices.push_back(address);
    }
    std::map<std::string, TDeviceSnapshot> byDevice;
    for (const auto& path : order) {
        const TFile& file = files.at(path);
        if (file.Error.empty()) {
            for (const auto& address : file.Devices)
                byDevice[address] = {path, file.Settings};
            continue;
        }
        // Told once for all the devices of the file.
        TOutcome o = Invalid(TInvalid::None, file.Error);
        o.Path = path;
        c.Report.Failure(file.Devices, o);
        c.Report.MarkRefusedInput();
    }
    std::vector<std::string> readable;
    for (const auto& address : c.Devices)
        if (byDevice.count(address) != 0) readable.push_back(address);
    c.Devices = std::move(readable);
    return byDevice;
}

bool ReadDevice(TVerbContext& c, const std::string& address, TDeviceSession& s,
                TSettings& current) {
    const TOutcome o = RequestDeviceInfo(s);
    if (!o.Ok()) {
        c.Report.Failure(address, o);
        return false;
    }
    current = SettingsOf(s.LastReport);
    return true;
}

std::string SettingsBlock(const std::string& address, const TSettings& s) {
    static const std::pair<TSettingKind, const char*> rows[] = {
        {TSettingKind::Location, "location"}, {TSettingKind::AccessPoint, "access point"},
        {TSettingKind::Station, "station"},   {TSettingKind::StaticIp, "static IP"},
        {TSettingKind::Modbus, "Modbus"},     {TSettingKind::WifiMode, "Wi-Fi mode"}};
    std::string text = address + "\n";
    for (const auto& [kind, label] : rows) {
        std::string padded = label;
        padded.resize(16, ' ');
        text += "  " + padded + SettingText(s, kind) + "\n";
    }
    return text;
}

nlohmann::ordered_json DifferencesJson(const TSettings& current, const TSettings& wanted,
                                       const TSettings& pending,
                                       const std::vector<TSettingKind>& kinds) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (TSettingKind kind : kinds) {
        nlohmann::ordered_json d{{"setting", SettingName(kind)},
                                 {"device", SettingJson(current, kind)},
                                 {"file", SettingJson(wanted, kind)}};
        if (HasSetting(pending, kind)) d["pending"] = SettingJson(pending, kind);
        list.push_back(d);
    }
    return list;
}

std::string DifferencesText(const TSettings& current, const TSettings& wanted,
                            const TSettings& pending, const std::vector<TSettingKind>& kinds) {
    std::string text;
    const std::string indent(16, ' ');
    for (TSettingKind kind : kinds) {
        std::string name = SettingName(kind);
        name.resize(14, ' ');
        text += "  " + name + "device " + SettingText(current, kind) + "\n" + indent + "file   " +
                SettingText(wanted, kind) + "\n";
        if (HasSetting(pending, kind))
            text += indent + "pending " + SettingText(pending, kind) +
                    " (written since the device last restarted; in force after a reboot)\n";
    }
    return text;
}

bool WriteSnapshot(const std::string& path, const nlohmann::ordered_json& doc, bool secret,
                   std::string& error) {
    return WriteFileWhole(
        path, doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n",
        secret, error);
}

}  // namespace kstbell::cli
