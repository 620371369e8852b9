// relay, find-me, wifi-mode, reboot and reset-default: one command each.

#include "cli/outcome_text.h"
#include "cli/restart_wait.h"
#include "cli/verb_context.h"
#include "device/device_actions.h"
#include "device/relay_output.h"

namespace kstbell::cli {

namespace {

constexpr std::uint8_t kRelayLoop = 1;
constexpr std::uint8_t kFactoryReset = 1;

// Runs an operation on every device; Done gives the result, anything else the failure.
void ForEachCommand(TVerbContext& c, const std::function<TOutcome(TDeviceSession&)>& operation,
                    const nlohmann::ordered_json& result, const std::string& human) {
    c.ForEach([&](const std::string& address, TDeviceSession& s) {
        const TOutcome o = operation(s);
        if (o.Ok())
            c.Report.Success(address, result, address + "  " + human);
        else
            c.Report.Failure(address, o);
    });
}

}  // namespace

int RunRelay(TVerbContext& c) {
    const bool on = c.Line.Args.at(0) == "on";
    const auto tone = static_cast<std::uint8_t>(c.Line.Tone);
    c.ForEach([&](const std::string& address, TDeviceSession& s) {
        const TOutcome o = SetRelayOutput(s, kRelayLoop, on ? 1 : 0, tone);
        if (!o.Ok()) {
            c.Report.Failure(address, o);
            return;
        }
        // The device answers with the output and input as they are now.
        const nlohmann::ordered_json result{
            {"output", s.Link.Reply[6]}, {"input", s.Link.Reply[7]}, {"tone", tone}};
        c.Report.Success(address, result,
                         address + "  relay " + (s.Link.Reply[6] ? "on" : "off") + ", tone " +
                             std::to_string(tone) + ", input " + std::to_string(s.Link.Reply[7]));
    });
    return c.Report.ExitCode();
}

int RunFindMe(TVerbContext& c) {
    ForEachCommand(c, FindMe, nlohmann::ordered_json::object(), "signals where it is");
    return c.Report.ExitCode();
}

int RunWifiMode(TVerbContext& c) {
    const bool accessPoint = c.Line.Args.at(0) == "ap";
    int exitCode = 0;
    if (!ConsentTo(c,
                   std::string("Switch ") + DeviceListText(c.Devices) + " to " +
                       (accessPoint ? "access-point" : "station") +
                       " mode? Each device restarts at once.",
                   exitCode))
        return exitCode;
    ForEachCommand(
        c, [&](TDeviceSession& s) { return SetWifiMode(s, accessPoint); },
        {{"wifi_mode", accessPoint ? "ap" : "station"}, {"restarting", true}},
        std::string("Wi-Fi mode ") + (accessPoint ? "access point" : "station") +
            " written; the device restarts now");
    return c.Report.ExitCode();
}

int RunResetDefault(TVerbContext& c) {
    int exitCode = 0;
    if (!ConsentTo(c,
                   "Reset " + DeviceListText(c.Devices) +
                       " to the factory settings? Each device restarts at once.",
                   exitCode))
        return exitCode;
    ForEachCommand(
        c, [](TDeviceSession& s) { return ResetToDefault(s, kFactoryReset); },
        {{"restarting", true}}, "back to its factory settings; the device restarts now");
    return c.Report.ExitCode();
}

int RunReboot(TVerbContext& c) {
    int exitCode = 0;
    if (!ConsentTo(c, "Reboot " + DeviceListText(c.Devices) + "?", exitCode)) return exitCode;
    c.ForEach([&](const std::string& address, TDeviceSession& s) {
        const TOutcome sent = RequestReset(s);
        if (!sent.Ok()) {
            c.Report.Failure(address, sent);
            return;
        }
        if (!c.Line.Wait) {
            c.Report.Success(address, {{"restart_sent", true}}, address + "  restarting");
            return;
        }
        long waited = 0;
        const TOutcome back = WaitUntilBack(s, c.Env, waited);
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

}  // namespace kstbell::cli
