#include "setup/device_actions.h"

#include <string>

#include "device/firmware_update.h"
#include "link/device_link.h"
#include "locate/locate.h"
#include "setup/commit_boxes.h"

namespace kstbell {

namespace {

constexpr std::uint8_t kAccessPointMode = 2;
constexpr std::uint8_t kStationMode = 0;

std::optional<TTransferResult> SendCommand(TContext& ctx, std::uint8_t code,
                                           std::uint8_t parameter) {
    if (LocateDevice(ctx) != 1) return std::nullopt;
    ctx.Link.PendingCode = code;
    ctx.Link.Request[4] = code;
    ctx.Link.Request[5] = parameter;
    RunTransaction(ctx, 6);
    if (RequestWentOut(ctx.Link)) return TTransferResult{};
    return TTransferResult{false, RequestFailure(ctx.Link)};
}

// The result box when the request went out, an error box when it did not, nothing when the
// device was not found.
void Finish(TContext& ctx, const std::optional<TTransferResult>& sent, const std::string& what,
            const std::string& resultText) {
    if (!sent) return;
    if (!sent->Ok) {
        ctx.Host.MessageBox("The " + what + " request could not be sent:\n" + sent->Error,
                            kErrorCaption, TMsgButtons::Ok, TMsgIcon::Error);
        return;
    }
    ShowResult(ctx, resultText);
}

}  // namespace

std::optional<TTransferResult> SetWifiMode(TContext& ctx) {
    return SendCommand(ctx, CMD_SET_WIFI_MODE,
                       ctx.Form2.RadioButton6 ? kAccessPointMode : kStationMode);
}

std::optional<TTransferResult> ResetToDefault(TContext& ctx, std::uint8_t parameter) {
    return SendCommand(ctx, CMD_KILL_CONFIG, parameter);
}

void WifiModeAction(TContext& ctx) {
    const std::string mode = ctx.Form2.RadioButton6 ? "AP Mode" : "Station Mode";
    if (!Confirm(ctx, "Modify Wi-Fi Mode, execute?\n    . Wi-Fi Mode: " + mode +
                          ".\n    . Device will Reboot immediately!"))
        return;
    Finish(ctx, SetWifiMode(ctx), "Wi-Fi mode",
           "Wi-Fi Mode write complete,\n    . Reboot complete.");
}

void ResetToDefaultAction(TContext& ctx) {
    if (!Confirm(ctx, "Reset to default setting, execute?\n    . Device will Reboot immediately!"))
        return;
    Finish(ctx, ResetToDefault(ctx, 1), "reset", "Reset default complete,\n    . Reboot complete.");
}

void RebootAction(TContext& ctx) {
    if (!Confirm(ctx, "Reboot device, execute?")) return;
    std::optional<TTransferResult> sent;
    if (RequestReset(ctx))
        sent = RequestWentOut(ctx.Link) ? TTransferResult{}
                                        : TTransferResult{false, RequestFailure(ctx.Link)};
    Finish(ctx, sent, "reboot", "Reboot complete.");
}

void FirmwareUpdateAction(TContext& ctx) {
    if (!Confirm(ctx, "F/W Update, execute?")) return;
    if (LocateDevice(ctx) == 1) UpdateFirmware(ctx);
}

}  // namespace kstbell
