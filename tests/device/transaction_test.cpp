#include <gtest/gtest.h>

#include "device/relay_output.h"
#include "shell/display.h"
#include "shell/main_window_actions.h"
#include "support/offline_context.h"
#include "support/reply_builder.h"

namespace kstbell::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TransactionTest : ::testing::Test {
    TOffline o;
    TContext& ctx = o.Ctx;
    void SetUp() override {
        ctx.Session.Flags.HasOutput = ctx.Session.Flags.HasInput = true;
        o.Tcp.Reply = MakeReply(CMD_GET_STATUS, STATUS_ACK, 13);
        Put(o.Tcp.Reply, 6, {1, 0, 0xFF, 0xCE});
    }
};

TEST_F(TransactionTest, ConnectsToTheDeviceAddressAndReleasesTheLink) {
    ctx.Session.Link.DeviceIp = "127.0.0.9";
    RequestStatus(ctx.Session);
    EXPECT_EQ(o.Tcp.Host, "127.0.0.9");
    EXPECT_EQ(o.Tcp.Port, 13577);
    ASSERT_EQ(o.Tcp.Writes.size(), 1u);
    EXPECT_EQ(o.Tcp.Writes[0], (Bytes{0x5A, 0x35, 0x77, 0xA5, 0xD8}));
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -50dBm");
    EXPECT_FALSE(ctx.Session.Link.LinkBusy);
    EXPECT_FALSE(o.Tcp.Connected());
}

TEST_F(TransactionTest, ConnectFailureShowsConnectTimeoutUntilTheNextConnect) {
    o.Tcp.ConnectResult = {TNetStatus::Failed, "refused"};
    RequestStatus(ctx.Session);
    EXPECT_EQ(o.Status(), "Connect Timeout");
    EXPECT_EQ(ctx.Session.Link.PendingCode, 0);
    EXPECT_FALSE(ctx.Session.Link.LinkBusy);
    EXPECT_TRUE(o.Tcp.Writes.empty());
    EXPECT_TRUE(o.Host.Boxes.empty());

    o.Tcp.ConnectResult = {};
    o.Tcp.Replying = false;
    RequestStatus(ctx.Session);
    EXPECT_EQ(o.Status(), "");

    // Another text in the panel is left alone by a successful connect.
    ctx.Form1.StatusBar2.Panels[0] = "Set Locator done!";
    RequestStatus(ctx.Session);
    EXPECT_EQ(o.Status(), "Set Locator done!");
}

TEST_F(TransactionTest, MissingReplyEndsAfterOneHundredPollsKeepingThePendingCode) {
    o.Tcp.Replying = false;
    RequestStatus(ctx.Session);
    EXPECT_EQ(o.Tcp.Waits, 100);
    EXPECT_EQ(ctx.Session.Link.PendingCode, CMD_GET_STATUS);
    EXPECT_FALSE(ctx.Session.Link.LinkBusy);
    EXPECT_FALSE(o.Tcp.Connected());
    EXPECT_EQ(o.Status(), "");
}

TEST_F(TransactionTest, WithoutAWindowTheReplyIsAwaitedInOnePieceBeforeTheLastPoll) {
    struct Case {
        const char* what;
        bool replying;
        int replyAfterWaits;
        std::vector<int> waits;
        TOutcomeKind outcome;
    };
    const Case cases[] = {
        {"a reply waiting at once", true, 0, {}, TOutcomeKind::Done},
        {"a reply during the long wait", true, 1, {990}, TOutcomeKind::Done},
        {"a reply only in the last poll", true, 2, {990, 10}, TOutcomeKind::NoReply},
        {"no reply", false, 0, {990, 10}, TOutcomeKind::NoReply},
    };
    for (const Case& c : cases) {
        o.Tcp.WholeWaits = true;
        o.Tcp.Replying = c.replying;
        o.Tcp.ReplyAfterWaits = c.replyAfterWaits;
        o.Tcp.WaitTimeouts.clear();
        EXPECT_EQ(RequestStatus(ctx.Session).Kind, c.outcome) << c.what;
        EXPECT_EQ(o.Tcp.WaitTimeouts, c.waits) << c.what;
        EXPECT_FALSE(ctx.Session.Link.LinkBusy) << c.what;
    }
}

TEST_F(TransactionTest, ReplyArrivingInTheLastPollCountsAsMissing) {
    o.Tcp.ReplyAfterWaits = 100;
    RequestStatus(ctx.Session);
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI:");
    EXPECT_EQ(ctx.Session.Link.PendingCode, CMD_GET_STATUS);

    o.Tcp.ReplyAfterWaits = 99;
    RequestStatus(ctx.Session);
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -50dBm");
}

TEST_F(TransactionTest, ReplyIsOnlyTakenForTheRequestItAnswers) {
    // A relay click while the status request connects is dropped whole: no pending code, no
    // trace, nothing rewritten; the status reply is decoded as the status it is.
    o.Tcp.OnConnect = [&] { SetRelayOutput(ctx.Session, 1, 1, 2); };
    RequestStatus(ctx.Session);
    ASSERT_EQ(o.Tcp.Writes.size(), 1u);
    EXPECT_EQ(o.Tcp.Writes[0], (Bytes{0x5A, 0x35, 0x77, 0xA5, 0xD8}));
    EXPECT_TRUE(ctx.Form1.Memo1.empty());
    EXPECT_EQ(o.Status(), "");
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -50dBm");
    EXPECT_EQ(ctx.Session.Link.PendingCode, 0);
    EXPECT_EQ(ctx.Session.Link.LastOutcome, TTransactionOutcome::Replied);

    // A Refresh click after the status request went out queues the information request; the
    // status reply is not decoded as information.
    ctx.Form1.Label4.Caption = "Get Device Linked!!";
    o.Tcp.ReplyAfterWaits = 1;
    o.Tcp.OnWait = [&] { RefreshDevice(ctx); };
    RequestStatus(ctx.Session);
    EXPECT_EQ(ctx.Form1.Label4.Caption, "Get Device Linked!!");
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, CMD_GET_DEVICE_INFO);

    // A reply that names another command than the one sent is nobody's answer, whatever is
    // pending: an information-shaped reply to a status request lights no lamp.
    ctx.Session.InputState = 0;
    UpdateIndicators(ctx);
    o.Tcp.Reply = MakeReply(CMD_GET_DEVICE_INFO, STATUS_ACK, 256);
    Put(o.Tcp.Reply, 6, {186, 1, 77, 168, 192});
    RequestStatus(ctx.Session);
    EXPECT_EQ(ctx.Session.Link.LastOutcome, TTransactionOutcome::NoReply);
    EXPECT_EQ(ctx.Session.Link.PendingCode, CMD_GET_STATUS);
    EXPECT_EQ(ctx.Form1.Shape6.Brush, clMenu);
}

TEST_F(TransactionTest, FindMeDuringConnectGoesOutAsSevenBytes) {
    o.Tcp.OnConnect = [&] { QueueFindMe(ctx.Session); };
    RequestStatus(ctx.Session);
    ASSERT_EQ(o.Tcp.Writes.size(), 1u);
    EXPECT_EQ(o.Tcp.Writes[0], (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x1D, 0x00, 0x00}));
}

TEST_F(TransactionTest, LengthRuleAppliesOnlyToFiveByteQueuedKinds) {
    ctx.Session.Poll.QueuedParams = {7, 8, 9, 10};
    ctx.Session.Link.Request[4] = CMD_KILL_CONFIG;
    RunTransaction(ctx.Session, 5);
    EXPECT_EQ(o.Tcp.Writes.back().size(), 5u);
    ctx.Session.Link.Request[4] = CMD_SET_DO;
    RunTransaction(ctx.Session, 8);
    EXPECT_EQ(o.Tcp.Writes.back().size(), 8u);
    ctx.Session.Link.Request[4] = CMD_GET_DEVICE_INFO;
    RunTransaction(ctx.Session, 5);
    EXPECT_EQ(o.Tcp.Writes.back(), (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x21, 7, 8}));
}

TEST_F(TransactionTest, SocketErrorsAreReportedAndTheLinkIsFreed) {
    o.Tcp.WriteResult = {TNetStatus::Failed, "Socket error: Broken pipe"};
    RequestStatus(ctx.Session);
    ASSERT_EQ(o.Host.Boxes.size(), 1u);
    EXPECT_EQ(o.Host.Boxes[0].Text, "Socket error: Broken pipe");
    EXPECT_EQ(o.Host.Boxes[0].Icon, TMsgIcon::Error);
    EXPECT_FALSE(ctx.Session.Link.LinkBusy);
    EXPECT_FALSE(o.Tcp.Connected());

    // A read error: the partial reply is not acted on.
    o.Tcp.WriteResult = {};
    o.Tcp.ReadResult = {TNetStatus::Failed, "Socket error: Connection reset by peer"};
    RequestStatus(ctx.Session);
    ASSERT_EQ(o.Host.Boxes.size(), 2u);
    EXPECT_EQ(o.Host.Boxes[1].Text, "Socket error: Connection reset by peer");
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI:");
    EXPECT_FALSE(ctx.Session.Link.LinkBusy);

    // The link works again afterwards.
    o.Tcp.ReadResult = {};
    RequestStatus(ctx.Session);
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -50dBm");
}

TEST_F(TransactionTest, ErrorBoxIsShownWithTheLinkFree) {
    o.Tcp.WriteResult = {TNetStatus::Failed, "x"};
    bool busyDuringBox = true;
    o.Host.OnBox = [&] { busyDuringBox = ctx.Session.Link.LinkBusy; };
    RequestStatus(ctx.Session);
    EXPECT_FALSE(busyDuringBox);
}

TEST_F(TransactionTest, OnlyTheFirst250ReplyBytesAreCleared) {
    ctx.Session.Link.Reply[249] = 0x11;
    ctx.Session.Link.Reply[250] = 0x22;
    RequestStatus(ctx.Session);
    EXPECT_EQ(ctx.Session.Link.Reply[249], 0);
    EXPECT_EQ(ctx.Session.Link.Reply[250], 0x22);
    EXPECT_EQ(ctx.Session.Link.ReplyLength, 13u);
}

TEST_F(TransactionTest, SendOnlyWritesWithoutReadingOrTouchingTheReplyArea) {
    ctx.Session.Link.Reply[0] = 0x77;
    ctx.Session.Link.Request[4] = CMD_M4_RESET;
    ctx.Session.Link.Request[5] = 0x99;
    ctx.Session.Link.PendingCode = CMD_M4_RESET;
    SendOnly(ctx.Session, 5);
    EXPECT_EQ(o.Tcp.Writes.at(0), (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x2D}));
    EXPECT_EQ(o.Tcp.Waits, 0);
    EXPECT_EQ(ctx.Session.Link.Reply[0], 0x77);
    EXPECT_EQ(ctx.Session.Link.PendingCode, CMD_M4_RESET);
    EXPECT_FALSE(ctx.Session.Link.LinkBusy);
    EXPECT_FALSE(o.Tcp.Connected());

    ctx.Session.Link.LinkBusy = true;
    SendOnly(ctx.Session, 5);
    EXPECT_EQ(o.Tcp.Connects, 1);
}

TEST_F(TransactionTest, ConfirmedImageResetGoesOutOnceAfterTheTransaction) {
    ctx.Session.ImageSum = 0x126;
    o.Tcp.Reply = MakeReply(CMD_GET_IMAGE_CHECKSUM, STATUS_ACK, 10);
    Put(o.Tcp.Reply, 6, {0, 0, 1, 0x26});
    RequestImageChecksum(ctx.Session, 0x126);
    ASSERT_EQ(o.Tcp.Writes.size(), 2u);
    EXPECT_EQ(o.Tcp.Writes[0], (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x25, 0, 0, 1, 0x26}));
    EXPECT_EQ(o.Tcp.Writes[1], (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x2D}));
    EXPECT_FALSE(ctx.Session.Link.ResetAfterTransaction);

    // Not located any more: no reset.
    o.Network.WifiState = kWifiStateDisconnected;
    RequestImageChecksum(ctx.Session, 0x126);
    EXPECT_EQ(o.Tcp.Writes.size(), 3u);
}

}  // namespace
}  // namespace kstbell::test
