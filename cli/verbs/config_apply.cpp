// config apply: writes what differs from a snapshot file (or all of it), the Wi-Fi mode last;
// restarts the device when asked and checks what it reports after.

#include <CLI/CLI.hpp>

#include <map>
#include <mutex>

#include "cli/config_plan.h"
#include "cli/config_verb_parts.h"
#include "cli/exit_codes.h"
#include "cli/outcome_text.h"
#include "cli/restart_wait.h"
#include "device/session.h"
#include "device/settings.h"
#include "protocol/device_info.h"

namespace kstbell::cli {

namespace {

// What apply found for one device before writing anything.
struct TPlanned {
    std::string File;
    TSettings Current;
    TSettings Wanted;
    TSettings Pending;  // written since the device last restarted
    std::vector<TSettingKind> Steps;
};

// The settings of wanted that kinds name.
TSettings Only(const TSettings& wanted, const std::vector<TSettingKind>& kinds) {
    TSettings only;
    for (TSettingKind kind : kinds)
        CopySetting(only, wanted, kind);
    return only;
}

class TConfigApply final : public TVerb {
  public:
    TConfigApply()
        : TVerb({"config apply", "write what differs from FILE, the Wi-Fi mode last",
                 "file, written, restart (needed|sent|by_wifi_mode), verified, back_after_ms; "
                 "with --dry-run: dry_run, would_write, differences (as config diff)"}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("FILE", pattern_, "a snapshot file")->type_name("FILE")->required();
        verb.add_flag("--dry-run", dryRun_, "only tell what would be written");
        verb.add_flag("--write-all", writeAll_,
                      "write every setting the file holds, whatever the device reports");
        CLI::Option* reboot = verb.add_flag(
            "--reboot", reboot_, "restart the device afterwards, also when nothing was written");
        verb.add_flag("--wait", wait_, "wait for the restart and check the values read back")
            ->needs(reboot);
        verb.add_flag("--allow-same-address", allowSameAddress_,
                      "apply a static address to more than one device");
        AddKeyFileOptions(verb, keyFiles_);
    }

    int Run(TVerbContext& c) override {
        TGivenKeys keys;
        TOutcome failure;
        if (!ReadGivenKeys(keyFiles_, keys, failure)) {
            FailAll(c, failure);
            return c.Report.ExitCode();
        }
        const auto snapshots = ReadSnapshots(c, pattern_);
        if (!allowSameAddress_ && !OneDevicePerAddress(c, snapshots)) return kExitUsage;
        std::mutex mutex;
        std::map<std::string, TPlanned> plans;
        c.ForEach([&](const std::string& address, TDeviceSession& s) {
            TPlanned p;
            p.File = snapshots.at(address).File;
            p.Wanted = snapshots.at(address).Settings;
            if (!Plan(c, address, s, keys, p)) return;
            std::lock_guard lock(mutex);
            plans.emplace(address, std::move(p));
        });
        if (plans.empty()) return c.Report.ExitCode();

        std::vector<std::string> devices;
        std::string listing;
        for (const auto& [address, p] : plans) {
            devices.push_back(address);
            listing += address + ": " +
                       (p.Steps.empty() ? "nothing to write, reboot" : SettingNames(p.Steps)) +
                       "\n";
        }
        if (c.Env.InputIsTerminal && !c.Global.Yes) c.Err << listing;
        int exitCode = 0;
        if (!ConsentTo(c,
                       "Write these settings to " + DeviceListText(devices) +
                           "? They take effect when the device restarts; a new Wi-Fi mode "
                           "restarts it at once.",
                       exitCode))
            return exitCode;
        c.ForEachOf(devices, [&](const std::string& address, TDeviceSession& s) {
            ApplyPlan(c, address, s, plans.at(address));
        });
        return c.Report.ExitCode();
    }

  private:
    // A static address given to two devices makes both unreachable: refused, naming the
    // address and its devices, unless asked for.
    static bool OneDevicePerAddress(TVerbContext& c,
                                    const std::map<std::string, TDeviceSnapshot>& snapshots) {
        std::map<std::string, std::vector<std::string>> byAddress;
        for (const auto& [address, snapshot] : snapshots) {
            const auto& st = snapshot.Settings.StaticIp;
            if (st && st->Enabled) byAddress[AddressText(st->Address.Ip)].push_back(address);
        }
        bool fine = true;
        for (const auto& [ip, devices] : byAddress) {
            if (devices.size() < 2) continue;
            c.Report.Error("the static address " + ip + " would go to " +
                           std::to_string(devices.size()) + " devices (" + DeviceListText(devices) +
                           "); give --allow-same-address to apply it all the same");
            fine = false;
        }
        return fine;
    }

    // Reads the device and finds what to write: what differs from what it runs with or from
    // what was written since it last restarted, or with --write-all everything the file holds.
    // True when there is something to do (a write, or a reboot); otherwise the device's result
    // (nothing to do, a dry run, or a failure) is reported.
    bool Plan(TVerbContext& c, const std::string& address, TDeviceSession& s,
              const TGivenKeys& keys, TPlanned& p) const {
        UseKeys(p.Wanted, keys);
        if (!ReadDevice(c, address, s, p.Current)) return false;
        p.Pending = c.Pending.Pending(address, p.Current);
        if (writeAll_) {
            for (TSettingKind kind : AllSettingKinds())
                if (HasSetting(p.Wanted, kind)) p.Steps.push_back(kind);
        } else {
            p.Steps = Differences(p.Current, p.Wanted, p.Pending);
        }
        if (const TOutcome checked = CheckPlan(p.Steps, p.Wanted); !checked.Ok()) {
            c.Report.Failure(address, checked);
            return false;
        }
        if ((!p.Steps.empty() || reboot_) && !dryRun_) return true;
        nlohmann::ordered_json result{{"file", p.File},
                                      {"written", nlohmann::ordered_json::array()}};
        if (dryRun_) {
            result["dry_run"] = true;
            result["would_write"] = nlohmann::ordered_json::array();
            for (TSettingKind kind : p.Steps)
                result["would_write"].push_back(SettingName(kind));
            result["differences"] = DifferencesJson(p.Current, p.Wanted, p.Pending, p.Steps);
        }
        c.Report.Success(address, result,
                         p.Steps.empty()
                             ? address + "  already as " + p.File + "; nothing to write"
                             : address + "  would write " + SettingNames(p.Steps) + ":\n" +
                                   DifferencesText(p.Current, p.Wanted, p.Pending, p.Steps));
        return false;
    }

    // What an interrupt left: the settings written, and those not.
    static std::string InterruptedAfter(const std::vector<TSettingKind>& done,
                                        const std::vector<TSettingKind>& steps) {
        const std::vector<TSettingKind> left(steps.begin() + static_cast<long>(done.size()),
                                             steps.end());
        return "interrupted: " +
               (done.empty() ? std::string("nothing written") : "written: " + SettingNames(done)) +
               (left.empty() ? "" : "; not written: " + SettingNames(left)) + "; no restart sent";
    }

    // Writes the steps, restarts when asked and, when asked to wait, checks what the device
    // reports after it is back. An interrupt stops it before the next setting or the restart.
    void ApplyPlan(TVerbContext& c, const std::string& address, TDeviceSession& s,
                   const TPlanned& p) const {
        std::vector<TSettingKind> done;
        for (TSettingKind kind : p.Steps) {
            if (c.Stopped()) break;
            TOutcome o;
            {
                TTransferMark transfer(c.Env);
                o = WriteSetting(s, p.Wanted, kind);
            }
            if (!o.Ok()) {
                c.Pending.Written(address, Only(p.Wanted, done));
                const std::string before =
                    done.empty() ? "nothing written" : "written before it: " + SettingNames(done);
                c.Report.Failure(address, ErrorJson(o, std::string("writing ") + SettingName(kind) +
                                                           " (" + before + ")"));
                return;
            }
            done.push_back(kind);
        }
        c.Pending.Written(address, Only(p.Wanted, done));
        const bool modeChanged = !done.empty() && done.back() == TSettingKind::WifiMode;
        if (c.Stopped() && !modeChanged) {
            c.Report.Interrupted(address, InterruptedAfter(done, p.Steps));
            return;
        }
        nlohmann::ordered_json written = nlohmann::ordered_json::array();
        for (TSettingKind kind : done)
            written.push_back(SettingName(kind));
        std::string restart = modeChanged ? "by_wifi_mode" : "needed";
        if (reboot_ && !modeChanged) {
            // The same pause the setup window leaves between the files of a setting: the device
            // stores a file after its data connection has closed.
            if (!done.empty()) s.Pause.Sleep(kSettingPauseMs);
            const TOutcome o = RequestReset(s);
            if (!o.Ok()) {
                c.Report.Failure(address,
                                 ErrorJson(o, done.empty() ? std::string("the reboot")
                                                           : "the settings were written; the "
                                                             "reboot"));
                return;
            }
            restart = "sent";
        }
        if (restart != "needed") c.Pending.Restarted(address);
        nlohmann::ordered_json result{{"file", p.File}, {"written", written}, {"restart", restart}};
        std::string human =
            address + (done.empty() ? "  nothing to write" : "  wrote " + SettingNames(done));
        if (!wait_) {
            human += restart == "needed" ? "; reboot to take effect" : "; the device restarts now";
            c.Report.Success(address, result, human);
            return;
        }
        long waited = 0;
        const TOutcome back = WaitUntilBack(s, c.Env, waited);
        if (!back.Ok() && c.Stopped()) {
            c.Report.Interrupted(
                address,
                InterruptedWaiting(human.substr(address.size() + 2) + ", and the restart " +
                                   (restart == "sent" ? "was sent" : "began")));
            return;
        }
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

    std::string pattern_;
    bool allowSameAddress_ = false;
    bool dryRun_ = false;
    bool writeAll_ = false;
    bool reboot_ = false;
    bool wait_ = false;
    TKeyFiles keyFiles_;
};

}  // namespace

std::unique_ptr<TVerb> MakeConfigApplyVerb() {
    return std::make_unique<TConfigApply>();
}

}  // namespace kstbell::cli
