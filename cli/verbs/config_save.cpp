// config save: writes each device's snapshot to a file, with the keys given in files.

#include <CLI/CLI.hpp>

#include "cli/config_verb_parts.h"
#include "cli/exit_codes.h"
#include "device/session.h"

namespace kstbell::cli {

namespace {

class TConfigSave final : public TVerb {
  public:
    TConfigSave()
        : TVerb({"config save", "write the snapshot to FILE (JSON)", "file, keys_saved"}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("FILE", pattern_, "the snapshot file; {device} is replaced by the address")
            ->type_name("FILE")
            ->required();
        AddKeyFileOptions(verb, keyFiles_);
    }

    int Run(TVerbContext& c) override {
        if (c.Devices.size() > 1 && FileForDevice(pattern_, "x") == pattern_) {
            c.Report.Error("config save of several devices needs {device} in the file name");
            return kExitUsage;
        }
        TGivenKeys keys;
        TOutcome failure;
        if (!ReadGivenKeys(keyFiles_, keys, failure)) {
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
            const std::string path = FileForDevice(pattern_, address);
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

  private:
    std::string pattern_;
    TKeyFiles keyFiles_;
};

}  // namespace

std::unique_ptr<TVerb> MakeConfigSaveVerb() {
    return std::make_unique<TConfigSave>();
}

}  // namespace kstbell::cli
