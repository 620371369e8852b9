#include "shell/display.h"

#include <system_error>

#include "link/device_link.h"
#include "shell/remove_directory_tree.h"

namespace kstbell {

void ResetDisplay(TContext& ctx) {
    auto& f = ctx.Form1;
    f.SpeedButton4.Enabled = false;
    f.Image1Enabled = false;
    f.Image3Enabled = false;
    f.Label12.Caption = "RSSI:";
    ctx.OutputState = 0;
    ctx.InputState = 0;
    ctx.Flags.DeviceInfoShown = false;
    UpdateIndicators(ctx);
    f.Label4.Caption.clear();
    f.Label5.Caption.clear();
    f.Label12.FontColor = kRssiColor;
}

void UpdateIndicators(TContext& ctx) {
    auto& f = ctx.Form1;
    ctx.OutputState &= static_cast<std::uint8_t>(ctx.Flags.HasOutput ? 1 : 0);
    if (ctx.OutputState & 1) {
        f.Shape1 = {kOutputOnColor, kOutputOnColor};
        f.SpeedButton4.Caption = "On";
    } else {
        f.Shape1 = {clMenu, cl3DLight};
        f.SpeedButton4.Caption = "Off";
    }
    ctx.InputState &= static_cast<std::uint8_t>(ctx.Flags.HasInput ? 1 : 0);
    f.Shape6 = (ctx.InputState & 1) ? TShapeState{kInputOnColor, kInputOnColor}
                                    : TShapeState{clMenu, cl3DLight};
}

void FormCreate(TContext& ctx, const std::filesystem::path& currentFolder) {
    ResetDisplay(ctx);
    ctx.Poll.PollEnabled = true;
    std::error_code ec;
    const auto temp = currentFolder / "temp";
    if (std::filesystem::is_directory(std::filesystem::symlink_status(temp, ec)))
        RemoveDirectoryTree(temp);
}

}  // namespace kstbell
