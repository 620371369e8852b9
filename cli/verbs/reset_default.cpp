// reset-default: back to the factory settings; the device restarts at once.

#include "cli/each_command.h"
#include "device/device_actions.h"

namespace kstbell::cli {

namespace {

constexpr std::uint8_t kFactoryReset = 1;

class TResetDefault final : public TVerb {
  public:
    TResetDefault()
        : TVerb({"reset-default", "back to the factory settings; the device restarts at once",
                 "restarting"}) {}

    int Run(TVerbContext& c) override {
        int exitCode = 0;
        if (!ConsentTo(c,
                       "Reset " + DeviceListText(c.Devices) +
                           " to the factory settings? Each device restarts at once.",
                       exitCode))
            return exitCode;
        ForEachCommand(
            c, [](TDeviceSession& s) { return ResetToDefault(s, kFactoryReset); },
            {{"restarting", true}}, "back to its factory settings; the device restarts now", true);
        return c.Report.ExitCode();
    }
};

}  // namespace

std::unique_ptr<TVerb> MakeResetDefaultVerb() {
    return std::make_unique<TResetDefault>();
}

}  // namespace kstbell::cli
