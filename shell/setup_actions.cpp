#include "shell/setup_actions.h"

#include <string>

#include "device/session.h"
#include "protocol/device_info.h"
#include "shell/context.h"
#include "shell/setup_commits.h"

namespace kstbell {

namespace {

// Runs one commit or action at a time: all of them share the link and the image buffer, so a
// click while one is under way (or while any transaction runs) is refused.
template <typename TCommit>
void RunExclusive(TContext& ctx, TCommit commit) {
    auto& w = ctx.Form2;
    if (w.Busy || ctx.Session.Link.LinkBusy) return;
    struct TRelease {
        TSetupWindowState& w;
        ~TRelease() { w.Busy = false; }
    } release{w};
    w.Busy = true;
    commit(ctx);
}

}  // namespace

void SetStaticIpControls(TContext& ctx, bool enabled) {
    auto& w = ctx.Form2;
    w.Label10Enabled = w.Label11Enabled = w.Label12Enabled = enabled;
    w.Edit8.Enabled = w.Edit9.Enabled = w.Edit10.Enabled = enabled;
    w.CheckBox1 = enabled;
}

void CheckBox1Click(TContext& ctx, bool checked) {
    SetStaticIpControls(ctx, checked);
}

void SetupFormCreate(TContext& ctx) {
    SetStaticIpControls(ctx, false);
}

void SetupFormActivate(TContext& ctx) {
    auto& w = ctx.Form2;
    const auto& info = ctx.Session.DeviceInfo;
    w.Edit1.Text = info.ApSsid;
    w.RadioButton1 = info.ApKeyType == 0;
    w.RadioButton2 = !w.RadioButton1;
    if (info.ApKeyType == 0) w.Edit2.Text.clear();
    w.Edit3.Text = info.StaSsid;
    w.RadioButton3 = info.StaKeyType == 0;
    w.RadioButton4 = info.StaKeyType == 1;
    w.RadioButton5 = info.StaKeyType > 1;
    if (info.StaKeyType == 0) w.Edit4.Text.clear();
    w.Edit5.Text = info.Location;
    w.Edit7.Text = std::to_string(info.ModbusPort);
    w.Edit12.Text = std::to_string(info.ModbusIdleTimeout);
    w.RadioButton7 = info.WifiMode == 0;
    w.RadioButton6 = !w.RadioButton7;
    SetStaticIpControls(ctx, info.StaticIpEnabled);
    if (info.StaticIpEnabled) {
        w.Edit8.Text = AddressText(info.StaticIp);
        w.Edit9.Text = AddressText(info.NetMask);
        w.Edit10.Text = AddressText(info.Gateway);
    } else {
        w.Edit8.Text.clear();
        w.Edit10.Text.clear();
    }
    w.CGauge1.Progress = 0;
    if (ctx.Session.Flags.SupportedModel) w.GroupBox6Visible = true;
}

void SetupFormClose(TContext& ctx) {
    if (!ctx.Session.Flags.DeviceInfoShown) return;
    QueueDeviceInfo(ctx.Session);
    ctx.Session.Poll.PollEnabled = true;
}

void SetupImage2Click(TContext& ctx) {
    RunExclusive(ctx, CommitApCredentials);
}
void SetupImage3Click(TContext& ctx) {
    RunExclusive(ctx, CommitStationCredentials);
}
void SetupImage10Click(TContext& ctx) {
    RunExclusive(ctx, CommitStaticIp);
}
void SetupImage5Click(TContext& ctx) {
    RunExclusive(ctx, CommitWebKey);
}
void SetupImage6Click(TContext& ctx) {
    RunExclusive(ctx, CommitLocation);
}
void SetupImage9Click(TContext& ctx) {
    RunExclusive(ctx, CommitModbusSettings);
}
void SetupImage4Click(TContext& ctx) {
    RunExclusive(ctx, WifiModeAction);
}
void SetupImage7Click(TContext& ctx) {
    RunExclusive(ctx, ResetToDefaultAction);
}
void SetupImage8Click(TContext& ctx) {
    RunExclusive(ctx, RebootAction);
}
void SetupImage1Click(TContext& ctx) {
    RunExclusive(ctx, FirmwareUpdateAction);
}

}  // namespace kstbell
