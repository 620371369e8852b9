#include "shell/display.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "support/offline_context.h"

namespace kstbell::test {
namespace {

TEST(DisplayTest, ResetDisplayReturnsToTheNoDeviceLook) {
    TOffline o;
    auto& ctx = o.Ctx;
    auto& f = ctx.Form1;
    ctx.Session.Flags.HasOutput = ctx.Session.Flags.HasInput = ctx.Session.Flags.DeviceInfoShown =
        true;
    ctx.Session.OutputState = ctx.Session.InputState = 1;
    EnableDeviceControls(ctx.Form1);
    f.Label4 = {"Get Device Linked!!", clNavy};
    f.Label5.Caption = "Locate: Office";
    f.Label12 = {"RSSI: -50dBm", clBlack};

    ResetDisplay(ctx);
    EXPECT_FALSE(f.SpeedButton4.Enabled);
    EXPECT_FALSE(f.Image1Enabled);
    EXPECT_FALSE(f.Image3Enabled);
    EXPECT_TRUE(f.Image2Enabled);  // Refresh is never disabled
    EXPECT_EQ(f.Label12.Caption, "RSSI:");
    EXPECT_EQ(f.Label12.FontColor, kRssiColor);
    EXPECT_EQ(f.Label4.Caption, "");
    EXPECT_EQ(f.Label5.Caption, "");
    EXPECT_EQ(f.SpeedButton4.Caption, "Off");
    EXPECT_EQ(f.Shape1.Brush, clMenu);
    EXPECT_EQ(f.Shape6.Pen, cl3DLight);
    EXPECT_EQ(ctx.Session.OutputState, 0);
    EXPECT_FALSE(ctx.Session.Flags.DeviceInfoShown);
}

TEST(DisplayTest, FormCreateEnablesPollingAndClearsTheTempFolder) {
    namespace fs = std::filesystem;
    const fs::path cwd = fs::temp_directory_path() / ("kstbell-fc-" + std::to_string(::getpid()));
    fs::remove_all(cwd);
    fs::create_directories(cwd / "temp" / "x");
    std::ofstream(cwd / "temp" / "x" / "f") << "data";
    std::ofstream(cwd / "other.txt") << "keep";

    TOffline o;
    o.Ctx.Session.Poll.PollEnabled = false;
    o.Ctx.Form1.Label4.Caption = "stale";
    FormCreate(o.Ctx, cwd);
    EXPECT_TRUE(o.Ctx.Session.Poll.PollEnabled);
    EXPECT_EQ(o.Ctx.Form1.Label4.Caption, "");
    EXPECT_FALSE(fs::exists(cwd / "temp"));
    EXPECT_TRUE(fs::exists(cwd / "other.txt"));
    fs::remove_all(cwd);
}

}  // namespace
}  // namespace kstbell::test
