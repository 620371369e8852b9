#include "shell/main_window_actions.h"

#include "device/relay_output.h"
#include "link/device_link.h"
#include "locate/locate.h"
#include "shell/convert.h"
#include "shell/display.h"

namespace kstbell {

void FormActivate(TContext& ctx) {
    auto& f = ctx.Form1;
    if (f.FirstActivationDone) return;
    f.FirstActivationDone = true;
    ctx.Link.PendingCode = 0;
    f.StatusBar1.Panels[1].clear();
    f.Edit2Text = ctx.Link.DeviceIp;
    if (LocateDevice(ctx) == 1) {
        f.StatusBar1.Panels[1] = "IP: " + ctx.Link.DeviceIp;
        f.Edit2Text = ctx.Link.DeviceIp;
        QueueDeviceInfo(ctx);
    } else {
        ctx.Host.MessageBox("Please check device whether in AP mode!", "Device not found",
                            TMsgButtons::Ok, TMsgIcon::Warning);
    }
}

bool Image1Click(TContext& ctx) {
    if (ctx.Link.LinkBusy) return false;
    ctx.Poll.PollEnabled = false;
    return true;
}

void RefreshDevice(TContext& ctx) {
    ctx.Form1.StatusBar2.Panels[0].clear();
    QueueDeviceInfo(ctx);
}

void Image3Click(TContext& ctx) {
    QueueFindMe(ctx);
}

void SpeedButton4Click(TContext& ctx) {
    const std::uint8_t value = (ctx.OutputState & 1) ? 0 : 1;
    const std::int32_t tone = StrToInt(ctx.Form1.ComboBox1Text);  // throws: nothing is sent
    SetRelayOutput(ctx, 1, value, static_cast<std::uint8_t>(tone));
}

void SpeedButton5Click(TContext& ctx) {
    ApplyStaticIp(ctx);
    ResetDisplay(ctx);
    RefreshDevice(ctx);
}

}  // namespace kstbell
