// config show: the settings and what the device reports, as a snapshot.

#include "cli/config_verb_parts.h"
#include "device/session.h"

namespace kstbell::cli {

namespace {

class TConfigShow final : public TVerb {
  public:
    TConfigShow()
        : TVerb({"config show", "print the settings and what the device reports, as a snapshot",
                 "the snapshot {format, read_from, device (as info), settings}"}) {}

    int Run(TVerbContext& c) override {
        c.ForEach([&](const std::string& address, TDeviceSession& s) {
            TSettings current;
            if (!ReadDevice(c, address, s, current)) return;
            c.Report.Success(address, SnapshotJson(address, s.LastReport, current),
                             SettingsBlock(address, current));
        });
        return c.Report.ExitCode();
    }
};

}  // namespace

std::unique_ptr<TVerb> MakeConfigShowVerb() {
    return std::make_unique<TConfigShow>();
}

}  // namespace kstbell::cli
