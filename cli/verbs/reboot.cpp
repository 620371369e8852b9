// reboot: restarts the device and, with --wait, sees it answer again.

#include <CLI/CLI.hpp>

#include "cli/outcome_text.h"
#include "cli/restart_wait.h"
#include "cli/verb_context.h"

namespace kstbell::cli {

namespace {

class TReboot final : public TVerb {
  public:
    TReboot() : TVerb({"reboot", "restart the device", "restart_sent, back_after_ms (--wait)"}) {}

    void Declare(CLI::App& verb) override {
        verb.add_flag("--wait", wait_, "wait until it answers again (60 s at most)");
    }

    int Run(TVerbContext& c) override {
        int exitCode = 0;
        if (!ConsentTo(c, "Reboot " + DeviceListText(c.Devices) + "?", exitCode)) return exitCode;
        c.ForEach([&](const std::string& address, TDeviceSession& s) {
            const TOutcome sent = RequestReset(s);
            if (!sent.Ok()) {
                c.Report.Failure(address, sent);
                return;
            }
            c.Pending.Restarted(address);
            if (!wait_) {
                c.Report.Success(address, {{"restart_sent", true}}, address + "  restarting");
                return;
            }
            long waited = 0;
            const TOutcome back = WaitUntilBack(s, c.Env, waited);
            if (!back.Ok() && c.Stopped()) {
                c.Report.Interrupted(address, InterruptedWaiting("the restart was sent"));
                return;
            }
            if (!back.Ok()) {
                c.Report.Failure(address,
                                 ErrorJson(back, "it did not answer again within " +
                                                     std::to_string(c.Env.RestartLimitMs / 1000) +
                                                     " s of the restart"));
                return;
            }
            c.Report.Success(
                address, {{"restart_sent", true}, {"back_after_ms", waited}},
                address + "  restarted, answering again after " + std::to_string(waited) + " ms");
        });
        return c.Report.ExitCode();
    }

  private:
    bool wait_ = false;
};

}  // namespace

std::unique_ptr<TVerb> MakeRebootVerb() {
    return std::make_unique<TReboot>();
}

}  // namespace kstbell::cli
