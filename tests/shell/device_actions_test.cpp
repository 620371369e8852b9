// Wi-Fi mode, reset to default, reboot and the firmware action against the simulator.

#include <gtest/gtest.h>

#include "shell/setup_actions.h"
#include "support/sim_fixture.h"

namespace kstbell::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct DeviceActionsTest : ::testing::Test {
    TSimBench b;
    TContext& ctx = b.Ctx;
    void SetUp() override { b.Host.Answers = {TMsgResult::Yes}; }
    Bytes Last(std::size_t expected = 1) const {
        WaitUntil([&] { return b.Sim.Requests().size() >= expected; }, std::chrono::seconds(2));
        auto requests = b.Sim.Requests();
        return requests.empty() ? Bytes{} : requests.back().Bytes;
    }
};

TEST_F(DeviceActionsTest, WifiModeNamesTheModeAndSendsIt) {
    ctx.Form2.RadioButton6 = true;
    ctx.Form2.RadioButton7 = false;
    SetupImage4Click(ctx);
    ASSERT_EQ(b.Host.Boxes.size(), 2u);
    EXPECT_EQ(b.Host.Boxes[0].Text,
              "Modify Wi-Fi Mode, execute?\n    . Wi-Fi Mode: AP Mode.\n    . Device will Reboot "
              "immediately!");
    EXPECT_EQ(Last(), (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x30, 0x02}));
    EXPECT_EQ(b.Host.Boxes[1].Text, "Wi-Fi Mode write complete,\n    . Reboot complete.");
    EXPECT_EQ(b.Host.Boxes[1].Caption, "Information");

    b.Host.Answers = {TMsgResult::Yes};
    ctx.Form2.RadioButton6 = false;
    ctx.Form2.RadioButton7 = true;
    SetupImage4Click(ctx);
    EXPECT_NE(b.Host.Boxes[2].Text.find("Station Mode"), std::string::npos);
    EXPECT_EQ(Last(2), (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x30, 0x00}));
    EXPECT_EQ(b.Sim.Snapshot().WifiMode, 0);
}

TEST_F(DeviceActionsTest, ResetToDefaultShowsTheDeviceAnswerBeforeTheResult) {
    std::string statusAtResult;
    b.Host.OnBox = [&] { statusAtResult = ctx.Form1.StatusBar2.Panels[0]; };
    SetupImage7Click(ctx);
    EXPECT_EQ(Last(), (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x5E, 0x01}));
    EXPECT_EQ(statusAtResult, "Flash Config been kill!");
    EXPECT_EQ(b.Host.Boxes.back().Text, "Reset default complete,\n    . Reboot complete.");
}

TEST_F(DeviceActionsTest, SilenceAfterARestartingCommandStillShowsTheResult) {
    // The Wi-Fi mode change and the reset restart the device at once, so a missing answer is
    // what the device does: the result box stands.
    sim::TSimFaults silent;
    silent.NeverAnswer = true;
    b.Sim.SetFaults(silent);
    const std::pair<void (*)(TContext&), const char*> actions[] = {
        {SetupImage4Click, "Wi-Fi Mode write complete,\n    . Reboot complete."},
        {SetupImage7Click, "Reset default complete,\n    . Reboot complete."},
    };
    for (auto [click, result] : actions) {
        b.Host.Boxes.clear();
        b.Host.Answers = {TMsgResult::Yes};
        click(ctx);
        ASSERT_EQ(b.Host.Boxes.size(), 2u);
        EXPECT_EQ(b.Host.Boxes[1].Text, result);
        EXPECT_EQ(b.Host.Boxes[1].Caption, "Information");
    }
}

TEST_F(DeviceActionsTest, RebootSendsFiveBytesAndReadsNothing) {
    SetupImage8Click(ctx);
    EXPECT_EQ(Last(), (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x2D}));
    EXPECT_EQ(b.Host.Boxes.back().Text, "Reboot complete.");
    EXPECT_TRUE(WaitUntil([&] { return b.Sim.Snapshot().RestartCount == 1; }));
}

TEST_F(DeviceActionsTest, NoDeviceOrNoAnswerYesSendsNothingAndClaimsNothing) {
    b.Host.Answers = {TMsgResult::No, TMsgResult::No, TMsgResult::No, TMsgResult::No};
    for (auto click : {SetupImage4Click, SetupImage7Click, SetupImage8Click, SetupImage1Click})
        click(ctx);
    EXPECT_EQ(b.Host.Boxes.size(), 4u);

    b.Network.WifiState = kWifiStateDisconnected;
    b.Host.Boxes.clear();
    b.Host.Answers = {TMsgResult::Yes, TMsgResult::Yes, TMsgResult::Yes, TMsgResult::Yes};
    for (auto click : {SetupImage4Click, SetupImage7Click, SetupImage8Click, SetupImage1Click})
        click(ctx);
    EXPECT_EQ(b.Host.Boxes.size(), 4u);  // the confirmations only
    for (const auto& box : b.Host.Boxes)
        EXPECT_EQ(box.Caption, "Confirm");
    EXPECT_TRUE(b.Sim.Requests().empty());
    EXPECT_TRUE(b.Host.FileDialogs.empty());
    EXPECT_EQ(ctx.Form1.Label4.Caption, "Device not found!!");
}

TEST_F(DeviceActionsTest, UnreachableDeviceIsReportedAsAnError) {
    b.Sim.Stop();
    b.Host.Answers = {TMsgResult::Yes, TMsgResult::Yes, TMsgResult::Yes};
    for (auto click : {SetupImage4Click, SetupImage7Click, SetupImage8Click})
        click(ctx);
    ASSERT_EQ(b.Host.Boxes.size(), 6u);
    for (std::size_t i = 1; i < 6; i += 2) {
        EXPECT_EQ(b.Host.Boxes[i].Caption, "Error found!");
        EXPECT_NE(b.Host.Boxes[i].Text.find("Connect Timeout"), std::string::npos);
    }
    EXPECT_FALSE(ctx.Form2.Busy);
}

TEST_F(DeviceActionsTest, FirmwareActionOpensTheDialogAndACancelEndsQuietly) {
    SetupImage1Click(ctx);
    EXPECT_EQ(b.Host.FileDialogs.size(), 1u);
    EXPECT_EQ(b.Host.Boxes.size(), 1u);
    EXPECT_TRUE(b.Sim.Requests().empty());
}

}  // namespace
}  // namespace kstbell::test
