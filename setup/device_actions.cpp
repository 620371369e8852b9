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

}  // namespace

std::optional<TTransferResult> SetWifiMode(TContext& ctx) {
    ctx.Link.Request[5] = ctx.Form2.RadioButton6 ? kAccessPointMode : kStationMode;
    return SendLocated(ctx, CMD_SET_WIFI_MODE, 6, TAnswer::NotAwaited);
}

std::optional<TTransferResult> ResetToDefault(TContext& ctx, std::uint8_t parameter) {
    ctx.Link.Request[5] = parameter;
    return SendLocated(ctx, CMD_KILL_CONFIG, 6, TAnswer::NotAwaited);
}

void WifiModeAction(TContext& ctx) {
    const std::string mode = ctx.Form2.RadioButton6 ? "AP Mode" : "Station Mode";
    if (!Confirm(ctx, "Modify Wi-Fi Mode, execute?\n    . Wi-Fi Mode: " + mode +
                          ".\n    . Device will Reboot immediately!"))
        return;
    FinishRequest(ctx, SetWifiMode(ctx), "Wi-Fi mode request",
                  "Wi-Fi Mode write complete,\n    . Reboot complete.");
}

void ResetToDefaultAction(TContext& ctx) {
    if (!Confirm(ctx, "Reset to default setting, execute?\n    . Device will Reboot immediately!"))
        return;
    FinishRequest(ctx, ResetToDefault(ctx, 1), "reset request",
                  "Reset default complete,\n    . Reboot complete.");
}

void RebootAction(TContext& ctx) {
    if (!Confirm(ctx, "Reboot device, execute?")) return;
    std::optional<TTransferResult> sent;
    if (RequestReset(ctx))
        sent = RequestWentOut(ctx.Link) ? TTransferResult{}
                                        : TTransferResult{false, RequestFailure(ctx.Link)};
    FinishRequest(ctx, sent, "reboot request", "Reboot complete.");
}

void FirmwareUpdateAction(TContext& ctx) {
    if (!Confirm(ctx, "F/W Update, execute?")) return;
    if (LocateDevice(ctx) == 1) UpdateFirmware(ctx);
}

}  // namespace kstbell
