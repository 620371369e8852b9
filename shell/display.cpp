#include "shell/display.h"

#include <system_error>

#include "shell/context.h"
#include "shell/remove_directory_tree.h"

namespace kstbell {

std::string RssiText(std::uint16_t raw) {
    return "RSSI: " + std::to_string(RssiDbm(raw)) + "dBm";
}

void ResetDisplayControls(TMainWindowState& f) {
    f.SpeedButton4.Enabled = false;
    f.Image1Enabled = false;
    f.Image3Enabled = false;
    f.Label12.Caption = "RSSI:";
    f.Label4.Caption.clear();
    f.Label5.Caption.clear();
    f.Label12.FontColor = kRssiColor;
}

void ResetDisplay(TContext& ctx) {
    ResetDisplayControls(ctx.Form1);
    ClearShownState(ctx.Session);
}

void UpdateIndicators(TMainWindowState& f, std::uint8_t output, std::uint8_t input) {
    if (output & 1) {
        f.Shape1 = {kOutputOnColor, kOutputOnColor};
        f.SpeedButton4.Caption = "On";
    } else {
        f.Shape1 = {clMenu, cl3DLight};
        f.SpeedButton4.Caption = "Off";
    }
    f.Shape6 =
        (input & 1) ? TShapeState{kInputOnColor, kInputOnColor} : TShapeState{clMenu, cl3DLight};
}

void UpdateIndicators(TContext& ctx) {
    SetStates(ctx.Session, ctx.Session.OutputState, ctx.Session.InputState);
}

void EnableDeviceControls(TMainWindowState& f) {
    f.SpeedButton4.Enabled = true;
    f.Image1Enabled = true;
    f.Image2Enabled = true;
    f.Image3Enabled = true;
}

void FormCreate(TContext& ctx, const std::filesystem::path& currentFolder) {
    ResetDisplay(ctx);
    ctx.Session.Poll.PollEnabled = true;
    std::error_code ec;
    const auto temp = currentFolder / "temp";
    if (std::filesystem::is_directory(std::filesystem::symlink_status(temp, ec)))
        RemoveDirectoryTree(temp);
}

}  // namespace kstbell
