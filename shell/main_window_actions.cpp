#include "shell/main_window_actions.h"

#include "device/locate.h"
#include "device/relay_output.h"
#include "protocol/convert.h"
#include "shell/context.h"
#include "shell/display.h"

namespace kstbell {

namespace {

// Keeps Timer3 off while its own handler runs, so a transaction that pumps events cannot
// re-enter the handler; it is on again on every way out.
class TTimerPause {
  public:
    explicit TTimerPause(TMainWindowState& f) : f_(f) { f_.Timer3Enabled = false; }
    ~TTimerPause() { f_.Timer3Enabled = true; }
    TTimerPause(const TTimerPause&) = delete;
    TTimerPause& operator=(const TTimerPause&) = delete;

  private:
    TMainWindowState& f_;
};

}  // namespace

void FormActivate(TContext& ctx) {
    auto& f = ctx.Form1;
    auto& s = ctx.Session;
    if (f.FirstActivationDone) return;
    f.FirstActivationDone = true;
    s.Link.PendingCode = 0;
    f.StatusBar1.Panels[1].clear();
    f.Edit2Text = s.Link.DeviceIp;
    if (LocateDevice(s) == 1) {
        f.StatusBar1.Panels[1] = "IP: " + s.Link.DeviceIp;
        f.Edit2Text = s.Link.DeviceIp;
        QueueDeviceInfo(s);
    } else {
        ctx.Host.MessageBox("Please check device whether in AP mode!", "Device not found",
                            TMsgButtons::Ok, TMsgIcon::Warning);
    }
}

bool Image1Click(TContext& ctx) {
    if (ctx.Session.Link.LinkBusy) return false;
    ctx.Session.Poll.PollEnabled = false;
    return true;
}

void RefreshDevice(TContext& ctx) {
    ctx.Form1.StatusBar2.Panels[0].clear();
    QueueDeviceInfo(ctx.Session);
}

void Image3Click(TContext& ctx) {
    QueueFindMe(ctx.Session);
}

void SpeedButton4Click(TContext& ctx) {
    const std::uint8_t value = (ctx.Session.OutputState & 1) ? 0 : 1;
    const std::int32_t tone = StrToInt(ctx.Form1.ComboBox1Text);  // throws: nothing is sent
    SetRelayOutput(ctx.Session, 1, value, static_cast<std::uint8_t>(tone));
}

void SpeedButton5Click(TContext& ctx) {
    ApplyStaticIp(ctx.Session, ctx.Form1.Edit2Text);
    ResetDisplay(ctx);
    RefreshDevice(ctx);
}

void Timer3Timer(TContext& ctx) {
    TTimerPause pause(ctx.Form1);
    PollTick(ctx.Session);
}

}  // namespace kstbell
