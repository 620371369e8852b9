// config diff: how each device differs from a snapshot file.

#include <CLI/CLI.hpp>

#include "cli/config_verb_parts.h"
#include "device/session.h"

namespace kstbell::cli {

namespace {

class TConfigDiff final : public TVerb {
  public:
    TConfigDiff()
        : TVerb({"config diff", "print how the device differs from FILE (exit 1)",
                 "file, same, differences [{setting, device, file, pending (written since the "
                 "device last restarted, when known)}]"}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("FILE", pattern_, "a snapshot file")->type_name("FILE")->required();
    }

    int Run(TVerbContext& c) override {
        const auto snapshots = ReadSnapshots(c, pattern_);
        c.ForEach([&](const std::string& address, TDeviceSession& s) {
            const std::string& path = snapshots.at(address).File;
            const TSettings& wanted = snapshots.at(address).Settings;
            TSettings current;
            if (!ReadDevice(c, address, s, current)) return;
            const TSettings pending = c.Pending.Pending(address, current);
            const auto kinds = Differences(current, wanted, pending);
            if (!kinds.empty()) c.Report.MarkDiffers();
            c.Report.Success(
                address,
                {{"file", path},
                 {"same", kinds.empty()},
                 {"differences", DifferencesJson(current, wanted, pending, kinds)}},
                address + (kinds.empty() ? "  same as " + path
                                         : "  differs from " + path + ":\n" +
                                               DifferencesText(current, wanted, pending, kinds)));
        });
        return c.Report.ExitCode();
    }

  private:
    std::string pattern_;
};

}  // namespace

std::unique_ptr<TVerb> MakeConfigDiffVerb() {
    return std::make_unique<TConfigDiff>();
}

}  // namespace kstbell::cli
