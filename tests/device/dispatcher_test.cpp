#include <gtest/gtest.h>

#include "shell/display.h"
#include "support/offline_context.h"
#include "support/reply_builder.h"

namespace kstbell::test {
namespace {

constexpr std::uint8_t kNak = 0x15;

std::vector<std::uint8_t> StatusReply(std::uint8_t out, std::uint8_t in, std::uint16_t rssi,
                                      std::uint8_t armed = 0, std::uint8_t code = CMD_GET_STATUS) {
    auto r = MakeReply(code, STATUS_ACK, 13);
    Put(r, 6, {out, in, static_cast<std::uint8_t>(rssi >> 8), static_cast<std::uint8_t>(rssi)});
    r[12] = armed;
    return r;
}

struct DispatcherTest : ::testing::Test {
    TOffline o;
    TContext& ctx = o.Ctx;
    void SetUp() override {
        ctx.Session.Flags.HasOutput = true;
        ctx.Session.Flags.HasInput = true;
    }
};

TEST_F(DispatcherTest, WrongMagicIsRejectedWithoutTouchingState) {
    ctx.Session.Link.PendingCode = CMD_GET_STATUS;
    auto r = StatusReply(1, 1, 65486);
    r[3] = 0xA6;
    o.Dispatch(r);
    EXPECT_EQ(o.Status(), "InValid Header package!");
    EXPECT_EQ(ctx.Session.Link.PendingCode, CMD_GET_STATUS);
    EXPECT_EQ(ctx.Session.OutputState, 0);
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI:");
}

TEST_F(DispatcherTest, EmptyReplyDoesNothing) {
    ctx.Session.Link.PendingCode = CMD_SET_LOCATOR;
    DispatchReply(ctx.Session, 0);
    EXPECT_EQ(ctx.Session.Link.PendingCode, CMD_SET_LOCATOR);
    EXPECT_EQ(o.Status(), "");
}

TEST_F(DispatcherTest, StatusReplyUpdatesIndicatorsAndSignal) {
    ctx.Session.Link.PendingCode = CMD_GET_STATUS;
    o.Dispatch(StatusReply(1, 1, 65486, 7));
    EXPECT_EQ(ctx.Session.Link.PendingCode, 0);
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -50dBm");
    EXPECT_EQ(ctx.Form1.SpeedButton4.Caption, "On");
    EXPECT_EQ(ctx.Form1.Shape1.Brush, kOutputOnColor);
    EXPECT_EQ(ctx.Form1.Shape6.Brush, kInputOnColor);
    EXPECT_EQ(ctx.Session.DeviceInfo.Armed, 7);

    // Raw 0 means "no value" and leaves the caption; raw 65535 is -1 dBm.
    ctx.Session.Link.PendingCode = CMD_GET_STATUS;
    o.Dispatch(StatusReply(0, 0, 0));
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -50dBm");
    EXPECT_EQ(ctx.Form1.SpeedButton4.Caption, "Off");
    o.Dispatch(StatusReply(0, 0, 65535));
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -1dBm");
}

TEST_F(DispatcherTest, UnsolicitedRepliesOnlyApplyAcceptedStatus) {
    o.Dispatch(StatusReply(1, 0, 65486));
    EXPECT_EQ(ctx.Form1.SpeedButton4.Caption, "On");

    ctx.Session.OutputState = 0;
    UpdateIndicators(ctx);
    auto negative = StatusReply(1, 0, 65400);
    negative[5] = kNak;
    o.Dispatch(negative);
    o.Dispatch(StatusReply(1, 0, 65400, 0, CMD_SET_DO));
    EXPECT_EQ(ctx.Form1.SpeedButton4.Caption, "Off");
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -50dBm");
}

TEST_F(DispatcherTest, ReplyIsTakenOnlyForThePendingCommandItNames) {
    // A status reply while set-output is pending is no set-output answer: it is applied as
    // the status it is, and nothing claims that the output was switched.
    ctx.Session.Link.PendingCode = CMD_SET_DO;
    o.Dispatch(StatusReply(1, 1, 65486));
    EXPECT_EQ(o.Status(), "");
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -50dBm");
    EXPECT_EQ(ctx.Form1.SpeedButton4.Caption, "On");

    // A status reply while information is pending is not decoded as information.
    ctx.Session.Link.PendingCode = CMD_GET_DEVICE_INFO;
    o.Dispatch(StatusReply(0, 0, 65486));
    EXPECT_EQ(ctx.Form1.Label4.Caption, "");
    EXPECT_FALSE(ctx.Session.Flags.DeviceInfoValid);

    // An information-shaped reply while the status is pending lights no lamp.
    ctx.Session.Link.PendingCode = CMD_GET_STATUS;
    auto info = MakeReply(CMD_GET_DEVICE_INFO, STATUS_ACK, 256);
    Put(info, 6, {186, 1, 77, 168, 192});
    o.Dispatch(info);
    EXPECT_EQ(ctx.Form1.Shape6.Brush, clMenu);
    EXPECT_EQ(ctx.Session.Link.PendingCode, CMD_GET_STATUS);

    // A raw signal strength below 32768 is no negative dBm value: the caption stays.
    for (std::uint16_t raw : {std::uint16_t{1}, std::uint16_t{32767}}) {
        ctx.Session.Link.PendingCode = CMD_GET_STATUS;
        o.Dispatch(StatusReply(0, 0, raw));
        EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -50dBm") << raw;
    }
    o.Dispatch(StatusReply(0, 0, 32768));
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -32768dBm");
}

TEST_F(DispatcherTest, SetOutputShowsMaskedInput) {
    ctx.Session.Flags.HasInput = false;
    ctx.Session.Link.PendingCode = CMD_SET_DO;
    o.Dispatch(StatusReply(3, 0xFF, 0, 0, CMD_SET_DO));
    EXPECT_EQ(o.Status(), "Set DO Done! DI:00");
    EXPECT_EQ(ctx.Session.InputState, 0);
    EXPECT_EQ(ctx.Session.OutputState, 1);
}

TEST_F(DispatcherTest, AcceptedAcknowledgementsShowTheirTexts) {
    const std::pair<std::uint8_t, const char*> cases[] = {
        {CMD_SET_LOCATOR, "Set Locator done!"},
        {CMD_M4_RESET, "M4 Reset Execute!"},
        {CMD_KILL_FILE, "Kill file in Flash Done!"},
        {CMD_KILL_CONFIG, "Flash Config been kill!"},
    };
    for (auto [code, text] : cases) {
        ctx.Session.Link.PendingCode = code;
        o.Dispatch(MakeReply(code, STATUS_ACK));
        EXPECT_EQ(o.Status(), text) << int(code);
        EXPECT_EQ(ctx.Session.Link.PendingCode, 0) << int(code);
    }
}

TEST_F(DispatcherTest, NegativeAnswersWithoutRetryLeaveTheCodePending) {
    for (std::uint8_t code : {CMD_KILL_FILE, CMD_KILL_CONFIG, CMD_SET_DO, CMD_GET_STATUS,
                              CMD_SET_WIFI_MODE, CMD_MODBUS_UPDATED}) {
        ctx.Session.Link.PendingCode = code;
        ctx.Form1.StatusBar2.Panels[0] = "before";
        o.Dispatch(MakeReply(code, kNak, 13));
        EXPECT_EQ(ctx.Session.Link.PendingCode, code);
        EXPECT_EQ(o.Status(), "before");
        EXPECT_EQ(ctx.Session.Poll.QueuedCode, 0);
    }
    // Codes without a handler stay pending even when accepted.
    ctx.Session.Link.PendingCode = CMD_SET_WIFI_MODE;
    o.Dispatch(MakeReply(CMD_SET_WIFI_MODE, STATUS_ACK));
    EXPECT_EQ(ctx.Session.Link.PendingCode, CMD_SET_WIFI_MODE);
}

TEST_F(DispatcherTest, NegativeAnswersToQueuedRequestsQueueThemAgain) {
    ctx.Session.Link.PendingCode = CMD_SET_LOCATOR;
    o.Dispatch(MakeReply(CMD_SET_LOCATOR, kNak));
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, CMD_SET_LOCATOR);
    EXPECT_EQ(ctx.Session.Link.PendingCode, CMD_SET_LOCATOR);

    ctx.Session.Poll.QueuedCode = 0;
    ctx.Session.Link.PendingCode = CMD_GET_DEVICE_INFO;
    o.Dispatch(MakeReply(CMD_GET_DEVICE_INFO, kNak));
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, CMD_GET_DEVICE_INFO);
    EXPECT_EQ(o.Network.Surveys, 1);

    // Not on the device network: nothing is queued.
    ctx.Session.Poll.QueuedCode = 0;
    o.Network.WifiState = kWifiStateDisconnected;
    o.Dispatch(MakeReply(CMD_GET_DEVICE_INFO, kNak));
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, 0);
}

TEST_F(DispatcherTest, NegativeAnswerToResetSendsTheResetAgain) {
    ctx.Session.Link.PendingCode = CMD_M4_RESET;
    o.Dispatch(MakeReply(CMD_M4_RESET, kNak));
    ASSERT_EQ(o.Tcp.Writes.size(), 1u);
    EXPECT_EQ(o.Tcp.Writes[0], (std::vector<std::uint8_t>{0x5A, 0x35, 0x77, 0xA5, 0x2D}));

    // Inside a running transaction the reset is swallowed and stays pending.
    ctx.Session.Link.LinkBusy = true;
    o.Dispatch(MakeReply(CMD_M4_RESET, kNak));
    EXPECT_EQ(o.Tcp.Writes.size(), 1u);
    EXPECT_EQ(ctx.Session.Link.PendingCode, CMD_M4_RESET);
}

TEST_F(DispatcherTest, ImageChecksumMatchAsksForOneResetAfterTheTransaction) {
    ctx.Session.ImageSum = 0x126;
    ctx.Session.Link.PendingCode = CMD_GET_IMAGE_CHECKSUM;
    auto r = MakeReply(CMD_GET_IMAGE_CHECKSUM, STATUS_ACK);
    Put(r, 6, {0x00, 0x00, 0x01, 0x26});
    o.Dispatch(r);
    const std::string text = "F/W update Complete! Reboot to take effect";
    EXPECT_EQ(o.Status(), text);
    ASSERT_EQ(o.Host.Boxes.size(), 1u);
    EXPECT_EQ(o.Host.Boxes[0].Text, text);
    EXPECT_EQ(o.Host.Boxes[0].Caption, text);
    EXPECT_EQ(o.Host.Boxes[0].Icon, TMsgIcon::None);
    EXPECT_TRUE(ctx.Session.Link.ResetAfterTransaction);
    EXPECT_EQ(ctx.Session.Link.PendingCode, 0);
    EXPECT_TRUE(o.Tcp.Writes.empty());
}

TEST_F(DispatcherTest, ImageChecksumMismatchReportsFailure) {
    const std::string text = "Update F/W fail with Error! Please retry again.";
    // Low bits equal but upper 32 bits set: still a mismatch.
    for (std::uint64_t local : {std::uint64_t{0x127}, (std::uint64_t{1} << 32) | 0x126}) {
        o.Host.Boxes.clear();
        ctx.Session.ImageSum = local;
        ctx.Session.Link.PendingCode = CMD_GET_IMAGE_CHECKSUM;
        auto r = MakeReply(CMD_GET_IMAGE_CHECKSUM, STATUS_ACK);
        Put(r, 6, {0x00, 0x00, 0x01, 0x26});
        o.Dispatch(r);
        EXPECT_EQ(o.Status(), text);
        ASSERT_EQ(o.Host.Boxes.size(), 1u);
        EXPECT_EQ(o.Host.Boxes[0].Icon, TMsgIcon::Error);
        EXPECT_FALSE(ctx.Session.Link.ResetAfterTransaction);
    }
}

TEST_F(DispatcherTest, ImageChecksumWithWrongCodeOrStatusOnlyClearsPending) {
    for (auto r :
         {MakeReply(CMD_GET_STATUS, STATUS_ACK), MakeReply(CMD_GET_IMAGE_CHECKSUM, kNak)}) {
        ctx.Session.Link.PendingCode = CMD_GET_IMAGE_CHECKSUM;
        o.Dispatch(r);
        EXPECT_EQ(ctx.Session.Link.PendingCode, 0);
        EXPECT_EQ(o.Status(), "");
        EXPECT_TRUE(o.Host.Boxes.empty());
    }
}

TEST_F(DispatcherTest, ShortReplyReadsMissingFieldsAsZero) {
    ctx.Session.Link.Reply[8] = 0xFF;  // left over from an earlier, longer reply
    ctx.Session.Link.Reply[9] = 0xCE;
    ctx.Session.Link.PendingCode = CMD_GET_STATUS;
    o.Dispatch(MakeReply(CMD_GET_STATUS, STATUS_ACK, 7));
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI:");
    EXPECT_EQ(ctx.Session.Link.PendingCode, 0);
}

TEST(IndicatorsTest, OnlyBitZeroOfASupportedModelLights) {
    TOffline o;
    auto& ctx = o.Ctx;
    ctx.Session.OutputState = 1;
    ctx.Session.InputState = 1;
    UpdateIndicators(ctx);  // no supported model has answered yet
    EXPECT_EQ(ctx.Form1.SpeedButton4.Caption, "Off");
    EXPECT_EQ(ctx.Form1.Shape1.Brush, clMenu);
    EXPECT_EQ(ctx.Form1.Shape1.Pen, cl3DLight);
    EXPECT_EQ(ctx.Form1.Shape6.Brush, clMenu);

    ctx.Session.Flags.HasOutput = ctx.Session.Flags.HasInput = true;
    ctx.Session.OutputState = 2;
    UpdateIndicators(ctx);
    EXPECT_EQ(ctx.Form1.SpeedButton4.Caption, "Off");
    ctx.Session.OutputState = 3;
    ctx.Session.InputState = 3;
    UpdateIndicators(ctx);
    EXPECT_EQ(ctx.Form1.SpeedButton4.Caption, "On");
    EXPECT_EQ(ctx.Form1.Shape1.Pen, kOutputOnColor);
    EXPECT_EQ(ctx.Form1.Shape6.Pen, kInputOnColor);
    EXPECT_EQ(ctx.Session.OutputState, 1);
}

}  // namespace
}  // namespace kstbell::test
