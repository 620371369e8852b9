// config show, save, diff and apply: the settings as a snapshot file.

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "cli/config_plan.h"
#include "cli/exit_codes.h"
#include "cli/json_text.h"
#include "cli/key_file.h"
#include "cli/outcome_text.h"
#include "cli/restart_wait.h"
#include "cli/verb_context.h"
#include "device/session.h"

namespace kstbell::cli {

namespace {

// The keys given with --ap-key-file and --station-key-file.
struct TGivenKeys {
    std::optional<std::string> AccessPoint;
    std::optional<std::string> Station;
};

bool ReadGivenKeys(const TCommandLine& line, TGivenKeys& keys, TOutcome& failure) {
    const std::pair<const std::string*, std::optional<std::string>*> files[] = {
        {&line.ApKeyFile, &keys.AccessPoint}, {&line.StationKeyFile, &keys.Station}};
    for (auto [path, key] : files) {
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

// Puts the given keys into the credentials that take one.
void UseKeys(TSettings& s, const TGivenKeys& keys) {
    if (s.AccessPoint && keys.AccessPoint && s.AccessPoint->KeyType != kKeyOpen)
        s.AccessPoint->Key = *keys.AccessPoint;
    if (s.Station && keys.Station && s.Station->KeyType != kKeyOpen) s.Station->Key = *keys.Station;
}

void FailAll(TVerbContext& c, const TOutcome& o) {
    for (const auto& device : c.Devices)
        c.Report.Failure(device, o);
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
                                       const std::vector<TSettingKind>& kinds) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (TSettingKind kind : kinds)
        list.push_back({{"setting", SettingName(kind)},
                        {"device", SettingJson(current, kind)},
                        {"file", SettingJson(wanted, kind)}});
    return list;
}

std::string DifferencesText(const TSettings& current, const TSettings& wanted,
                            const std::vector<TSettingKind>& kinds) {
    std::string text;
    for (TSettingKind kind : kinds) {
        std::string name = SettingName(kind);
        name.resize(14, ' ');
        text += "  " + name + "device " + SettingText(current, kind) + "\n" + std::string(16, ' ') +
                "file   " + SettingText(wanted, kind) + "\n";
    }
    return text;
}

// Writes the document whole or not at all; a file with keys is readable by its owner only.
bool WriteSnapshot(const std::string& path, const nlohmann::ordered_json& doc, bool secret,
                   std::string& error) {
    namespace fs = std::filesystem;
    const std::string part = path + ".part";
    std::error_code ec;
    {
        std::ofstream file(part, std::ios::binary | std::ios::trunc);
        if (file && secret)
            fs::permissions(part, fs::perms::owner_read | fs::perms::owner_write,
                            fs::perm_options::replace, ec);
        if (file)
            file << doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                 << '\n';
        file.close();
        if (!file || ec) {
            error = "cannot write " + path;
            fs::remove(part, ec);
            return false;
        }
    }
    fs::rename(part, path, ec);
    if (ec) {
        error = "cannot write " + path + ": " + ec.message();
        fs::remove(part, ec);
        return false;
    }
    return true;
}

// Asks the device for its information and takes its settings; a device that does not give
// them is reported as failed, and false tells the caller to go no further with it.
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

}  // namespace

int RunConfigShow(TVerbContext& c) {
    c.ForEach([&](const std::string& address, TDeviceSession& s) {
        TSettings current;
        if (!ReadDevice(c, address, s, current)) return;
        c.Report.Success(address, SnapshotJson(address, s.LastReport, current),
                         SettingsBlock(address, current));
    });
    return c.Report.ExitCode();
}

int RunConfigSave(TVerbContext& c) {
    const std::string& pattern = c.Line.Args.at(0);
    if (c.Devices.size() > 1 && FileForDevice(pattern, "x") == pattern) {
        c.Report.Error("config save of several devices needs {device} in the file name");
        return kExitUsage;
    }
    TGivenKeys keys;
    TOutcome failure;
    if (!ReadGivenKeys(c.Line, keys, failure)) {
        FailAll(c, failure);
        return c.Report.ExitCode();
    }
    c.ForEach([&](const std::string& address, TDeviceSession& s) {
        TSettings current;
        if (!ReadDevice(c, address, s, current)) return;
        UseKeys(current, keys);
        nlohmann::ordered_json saved = nlohmann::ordered_json::array();
        if (current.AccessPoint && !current.AccessPoint->Key.empty())
            saved.push_back("access_point");
        if (current.Station && !current.Station->Key.empty()) saved.push_back("station");
        const std::string path = FileForDevice(pattern, address);
        std::string error;
        if (!WriteSnapshot(path, SnapshotJson(address, s.LastReport, current), !saved.empty(),
                           error)) {
            c.Report.Failure(address, Invalid(TInvalid::None, error));
            return;
        }
        c.Report.Success(address, {{"file", path}, {"keys_saved", saved}},
                         address + "  saved to " + path);
    });
    return c.Report.ExitCode();
}

int RunConfigDiff(TVerbContext& c) {
    const std::string& pattern = c.Line.Args.at(0);
    c.ForEach([&](const std::string& address, TDeviceSession& s) {
        const std::string path = FileForDevice(pattern, address);
        TSettings wanted;
        std::string error;
        if (!ReadSnapshotFile(path, wanted, error)) {
            c.Report.Failure(address, Invalid(TInvalid::None, error));
            return;
        }
        TSettings current;
        if (!ReadDevice(c, address, s, current)) return;
        const auto kinds = Differences(current, wanted);
        if (!kinds.empty()) c.Report.MarkDiffers();
        c.Report.Success(address,
                         {{"file", path},
                          {"same", kinds.empty()},
                          {"differences", DifferencesJson(current, wanted, kinds)}},
                         address + (kinds.empty() ? "  same as " + path
                                                  : "  differs from " + path + ":\n" +
                                                        DifferencesText(current, wanted, kinds)));
    });
    return c.Report.ExitCode();
}

namespace {

// What apply found for one device before writing anything.
struct TPlanned {
    std::string File;
    TSettings Current;
    TSettings Wanted;
    std::vector<TSettingKind> Steps;
};

// Writes the steps, restarts when asked and, when asked to wait, checks what the device reports
// after it is back.
void ApplyPlan(TVerbContext& c, const std::string& address, TDeviceSession& s, const TPlanned& p) {
    std::vector<TSettingKind> done;
    for (TSettingKind kind : p.Steps) {
        const TOutcome o = WriteSetting(s, p.Wanted, kind);
        if (!o.Ok()) {
            const std::string before =
                done.empty() ? "nothing written" : "written before it: " + SettingNames(done);
            c.Report.Failure(address, ErrorJson(o, std::string("writing ") + SettingName(kind) +
                                                       " (" + before + ")"));
            return;
        }
        done.push_back(kind);
    }
    nlohmann::ordered_json written = nlohmann::ordered_json::array();
    for (TSettingKind kind : done)
        written.push_back(SettingName(kind));
    const bool modeChanged = p.Steps.back() == TSettingKind::WifiMode;
    std::string restart = modeChanged ? "by_wifi_mode" : "needed";
    if (c.Line.Reboot && !modeChanged) {
        // The same pause the setup window leaves between the files of a setting: the device
        // stores a file after its data connection has closed.
        s.Pause.Sleep(kSettingPauseMs);
        const TOutcome o = RequestReset(s);
        if (!o.Ok()) {
            c.Report.Failure(address, ErrorJson(o, "the settings were written; the reboot"));
            return;
        }
        restart = "sent";
    }
    nlohmann::ordered_json result{{"file", p.File}, {"written", written}, {"restart", restart}};
    std::string human = address + "  wrote " + SettingNames(p.Steps);
    if (!c.Line.Wait) {
        human += restart == "needed" ? "; reboot to take effect" : "; the device restarts now";
        c.Report.Success(address, result, human);
        return;
    }
    long waited = 0;
    const TOutcome back = WaitUntilBack(s, c.Env, waited);
    if (!back.Ok()) {
        c.Report.Failure(address, ErrorJson(back, "it did not answer again after its restart"));
        return;
    }
    const auto still = Differences(SettingsOf(s.LastReport), p.Wanted);
    if (!still.empty()) {
        TOutcome o{TOutcomeKind::VerifyFailed};
        o.Message = "after the restart the device still differs from " + p.File + " in " +
                    SettingNames(still);
        c.Report.Failure(address, o);
        return;
    }
    result["verified"] = true;
    result["back_after_ms"] = waited;
    c.Report.Success(address, result,
                     human + "; restarted, and what it reports now matches " + p.File);
}

}  // namespace

int RunConfigApply(TVerbContext& c) {
    TGivenKeys keys;
    TOutcome failure;
    if (!ReadGivenKeys(c.Line, keys, failure)) {
        FailAll(c, failure);
        return c.Report.ExitCode();
    }
    std::mutex mutex;
    std::map<std::string, TPlanned> plans;
    c.ForEach([&](const std::string& address, TDeviceSession& s) {
        TPlanned p;
        p.File = FileForDevice(c.Line.Args.at(0), address);
        std::string error;
        if (!ReadSnapshotFile(p.File, p.Wanted, error)) {
            c.Report.Failure(address, Invalid(TInvalid::None, error));
            return;
        }
        UseKeys(p.Wanted, keys);
        if (!ReadDevice(c, address, s, p.Current)) return;
        p.Steps = Differences(p.Current, p.Wanted);
        if (const TOutcome checked = CheckPlan(p.Steps, p.Wanted); !checked.Ok()) {
            c.Report.Failure(address, checked);
            return;
        }
        if (p.Steps.empty() || c.Line.DryRun) {
            nlohmann::ordered_json result{{"file", p.File},
                                          {"written", nlohmann::ordered_json::array()}};
            if (c.Line.DryRun) {
                result["dry_run"] = true;
                result["would_write"] = nlohmann::ordered_json::array();
                for (TSettingKind kind : p.Steps)
                    result["would_write"].push_back(SettingName(kind));
                result["differences"] = DifferencesJson(p.Current, p.Wanted, p.Steps);
            }
            c.Report.Success(address, result,
                             p.Steps.empty()
                                 ? address + "  already as " + p.File + "; nothing to write"
                                 : address + "  would write " + SettingNames(p.Steps) + ":\n" +
                                       DifferencesText(p.Current, p.Wanted, p.Steps));
            return;
        }
        std::lock_guard lock(mutex);
        plans.emplace(address, std::move(p));
    });
    if (plans.empty()) return c.Report.ExitCode();

    std::vector<std::string> devices;
    std::string listing;
    for (const auto& [address, p] : plans) {
        devices.push_back(address);
        listing += address + ": " + SettingNames(p.Steps) + "\n";
    }
    if (c.Env.InputIsTerminal && !c.Line.Yes) c.Err << listing;
    int exitCode = 0;
    if (!ConsentTo(c,
                   "Write these settings to " + DeviceListText(devices) +
                       "? They take effect when the device restarts; a new Wi-Fi mode restarts "
                       "it at once.",
                   exitCode))
        return exitCode;
    site::ForEachDevice(
        devices, c.Engine, c.Network,
        [&](const std::string& address, TDeviceSession& s) {
            ApplyPlan(c, address, s, plans.at(address));
        },
        c.Env.Stop);
    return c.Report.ExitCode();
}

}  // namespace kstbell::cli
