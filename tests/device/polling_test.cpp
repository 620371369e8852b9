// The polling cycle against the in-process simulator, ticked by calling the handler.

#include <gtest/gtest.h>

#include <algorithm>

#include "shell/main_window_actions.h"
#include "support/offline_context.h"
#include "support/reply_builder.h"
#include "support/sim_fixture.h"

namespace kstbell::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct PollingTest : ::testing::Test {
    TSimBench b;
    TContext& ctx = b.Ctx;

    void Ticks(int n) {
        for (int i = 0; i < n; ++i)
            Timer3Timer(ctx);
    }
    std::size_t Sent() const { return b.Sim.Requests().size(); }
    Bytes Last() const { return b.Sim.Requests().back().Bytes; }
    // Identified and in step: the next check is 31 ticks away.
    void Identify() {
        FormActivate(ctx);
        Ticks(1);
        ASSERT_TRUE(ctx.Session.Flags.DeviceInfoValid);
        b.Sim.ClearRequests();
    }
};

TEST_F(PollingTest, QueuedInformationRequestLeavesOnTheFirstTick) {
    FormActivate(ctx);
    EXPECT_EQ(Sent(), 0u);
    Ticks(1);
    ASSERT_EQ(Sent(), 1u);
    EXPECT_EQ(Last(), (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x21, 0, 0, 0, 0}));
    EXPECT_EQ(ctx.Form1.Label4.Caption, "Get Device Linked!!");
    EXPECT_NE(std::find(ctx.Form1.Memo1.begin(), ctx.Form1.Memo1.end(), "GBL => 33"),
              ctx.Form1.Memo1.end());
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, 0);
    EXPECT_TRUE(ctx.Form1.Timer3Enabled);
}

TEST_F(PollingTest, StatusIsPolledEveryThirtyFirstTick) {
    Identify();
    Ticks(30);
    EXPECT_EQ(Sent(), 0u);
    Ticks(1);
    ASSERT_EQ(Sent(), 1u);
    EXPECT_EQ(Last(), (Bytes{0x5A, 0x35, 0x77, 0xA5, 0xD8}));
    Ticks(31);
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(PollingTest, QueuedRequestNeverSharesATickWithACheck) {
    Identify();
    Ticks(30);  // the next tick is a check
    Image3Click(ctx);
    Image3Click(ctx);  // twice within one tick: one request
    Ticks(1);
    // The check finds the queued code pending and clears it instead of polling.
    EXPECT_EQ(Sent(), 0u);
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, CMD_SET_LOCATOR);
    Ticks(1);
    ASSERT_EQ(Sent(), 1u);
    EXPECT_EQ(Last(), (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x1D, 0, 0, 0, 0}));
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[0], "Set Locator done!");
    EXPECT_EQ(b.Sim.Snapshot().LocatorCount, 1);
    // The queued request restarted the count.
    Ticks(30);
    EXPECT_EQ(Sent(), 1u);
    Ticks(1);
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(PollingTest, UnansweredStatusDelaysPollingByOneCycle) {
    Identify();
    sim::TSimFaults refuse;
    refuse.NegativeStatus = true;
    b.Sim.SetFaults(refuse);
    Ticks(31);
    EXPECT_EQ(Sent(), 1u);
    EXPECT_EQ(ctx.Session.Link.PendingCode, CMD_GET_STATUS);
    b.Sim.SetFaults({});
    Ticks(31);  // this check only clears the stale code
    EXPECT_EQ(Sent(), 1u);
    EXPECT_EQ(ctx.Session.Link.PendingCode, 0);
    Ticks(31);
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(PollingTest, LostDeviceIsNoticedAndIdentifiedAgain) {
    Identify();
    b.Network.WifiState = kWifiStateDisconnected;
    Ticks(31);
    EXPECT_EQ(Sent(), 0u);
    EXPECT_EQ(ctx.Form1.Label4.Caption, "Device not found!!");
    EXPECT_FALSE(ctx.Session.Flags.DeviceInfoValid);
    EXPECT_FALSE(ctx.Form1.SpeedButton4.Enabled);

    b.Network.WifiState = kWifiStateConnected;
    Ticks(31);
    ASSERT_EQ(Sent(), 1u);
    EXPECT_EQ(Last(), (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x21, 0, 0}));
    EXPECT_EQ(ctx.Form1.Memo1[ctx.Form1.Memo1.size() - 3], "Re-Get Device..");
    EXPECT_TRUE(ctx.Session.Flags.DeviceInfoValid);
    EXPECT_TRUE(ctx.Form1.SpeedButton4.Enabled);
}

TEST_F(PollingTest, SetupOpenOrBusyLinkSendsNoStatus) {
    Identify();
    ctx.Session.Poll.PollEnabled = false;
    Ticks(62);
    EXPECT_EQ(Sent(), 0u);
    ctx.Session.Poll.PollEnabled = true;
    ctx.Session.Link.LinkBusy = true;  // a transaction of another handler is still running
    Ticks(31);
    EXPECT_EQ(Sent(), 0u);
    ctx.Session.Link.LinkBusy = false;
    Ticks(31);
    EXPECT_EQ(Sent(), 1u);
}

TEST_F(PollingTest, RefusedFindMeIsSentAgainOnTheNextTick) {
    Identify();
    sim::TSimFaults refuse;
    refuse.NegativeStatus = true;
    b.Sim.SetFaults(refuse);
    Image3Click(ctx);
    Ticks(1);
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, CMD_SET_LOCATOR);
    b.Sim.SetFaults({});
    Ticks(1);
    EXPECT_EQ(Sent(), 2u);
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[0], "Set Locator done!");
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, 0);
}

TEST_F(PollingTest, RelayButtonSwitchesTheDeviceAndFollowsItsAnswer) {
    Identify();
    ctx.Form1.ComboBox1Text = "2";
    SpeedButton4Click(ctx);
    EXPECT_EQ(Last(), (Bytes{0x5A, 0x35, 0x77, 0xA5, 0xD0, 0x01, 0x01, 0x02}));
    EXPECT_EQ(ctx.Form1.SpeedButton4.Caption, "On");
    EXPECT_EQ(ctx.Form1.Shape1.Brush, kOutputOnColor);
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[0], "Set DO Done! DI:00");
    EXPECT_EQ(ctx.Form1.Memo1.back(), "Loop:1,Val:1,mode:2");
    EXPECT_EQ(b.Sim.Snapshot().Relay, 1);
    EXPECT_EQ(b.Sim.Snapshot().Tone, 2);

    SpeedButton4Click(ctx);
    EXPECT_EQ(Last()[6], 0);
    EXPECT_EQ(ctx.Form1.SpeedButton4.Caption, "Off");
    EXPECT_EQ(b.Sim.Snapshot().Relay, 0);
}

TEST_F(PollingTest, RelayToneTextIsConvertedOrRefused) {
    Identify();
    ctx.Form1.ComboBox1Text = "x";
    EXPECT_THROW(SpeedButton4Click(ctx), std::exception);
    EXPECT_EQ(Sent(), 0u);
    EXPECT_TRUE(ctx.Form1.Memo1.empty() || ctx.Form1.Memo1.back().rfind("Loop:", 0) != 0);

    ctx.Form1.ComboBox1Text = "257";  // only the low 8 bits go out
    SpeedButton4Click(ctx);
    EXPECT_EQ(Last()[7], 1);
    EXPECT_EQ(ctx.Form1.Memo1.back(), "Loop:1,Val:1,mode:1");
}

TEST_F(PollingTest, RelayRequestIsTracedEvenWhenTheDeviceIsGone) {
    Identify();
    b.Sim.Stop();
    SpeedButton4Click(ctx);
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[0], "Connect Timeout");
    EXPECT_EQ(ctx.Form1.Memo1.back(), "Loop:1,Val:1,mode:0");
    EXPECT_EQ(ctx.Form1.SpeedButton4.Caption, "Off");
}

TEST_F(PollingTest, SilentDeviceIsShownAsSilentUntilItAnswersAgain) {
    Identify();
    sim::TSimFaults silent;
    silent.NeverAnswer = true;
    b.Sim.SetFaults(silent);
    Ticks(31);  // the status request gets no answer
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -50dBm");
    Ticks(62);  // a check that forgets the stale request, then the second unanswered one
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[0], "No reply from device");
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI:");
    EXPECT_EQ(ctx.Form1.Label4.Caption, "Get Device Linked!!");

    b.Sim.SetFaults({});
    Ticks(62);
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[0], "Get Device Linked!!");
    EXPECT_EQ(ctx.Form1.Label12.Caption, "RSSI: -50dBm");
}

TEST_F(PollingTest, AddressWithLeadingZerosNamesTheSameDevice) {
    // Four decimal parts are taken in their usual spelling; any other text as typed.
    const std::pair<const char*, const char*> cases[] = {
        {"127.000.000.001", "127.0.0.1"},
        {"127.0.0.0001", "127.0.0.1"},
        {"127.0.0.1", "127.0.0.1"},
    };
    for (auto [typed, canonical] : cases) {
        SCOPED_TRACE(typed);
        ctx.Form1.Edit2Text = typed;
        SpeedButton5Click(ctx);
        EXPECT_EQ(ctx.Session.Link.DeviceIp, canonical);
        EXPECT_EQ(ctx.Session.Locate.DeviceNetPrefix, "127.0.0.");
        Ticks(1);
        EXPECT_EQ(ctx.Form1.Label4.Caption, "Get Device Linked!!");
        EXPECT_TRUE(ctx.Session.Flags.DeviceInfoValid);
    }
    ctx.Form1.Edit2Text = "1.2.3.4.5";
    SpeedButton5Click(ctx);
    EXPECT_EQ(ctx.Session.Link.DeviceIp, "1.2.3.4.5");
    EXPECT_EQ(ctx.Session.Locate.DeviceNetPrefix, "1.2.3.");
}

TEST(TraceBoundTest, AWeekOfTicksKeepsTheTraceBounded) {
    // A week of 100 ms ticks on scripted ports: the device answers for half of it and is
    // unreachable for the other half. The trace keeps its newest lines only.
    TOffline o;
    o.Tcp.Reply = MakeReply(CMD_GET_STATUS, STATUS_ACK, 13);
    FormActivate(o.Ctx);
    o.Ctx.Session.Flags.DeviceInfoValid = true;
    constexpr long kTicksPerWeek = 7L * 24 * 60 * 60 * 10;
    for (long tick = 0; tick < kTicksPerWeek; ++tick) {
        if (tick == kTicksPerWeek / 2) o.Tcp.ConnectResult = {TNetStatus::Failed, "unreachable"};
        Timer3Timer(o.Ctx);
        if (o.Tcp.Writes.size() > 1000) o.Tcp.Writes.clear();
    }
    EXPECT_EQ(o.Ctx.Form1.Memo1.size(), TTraceMemo::kCapacity);
    EXPECT_GT(o.Ctx.Form1.Memo1.Appended(), 100'000u);
    EXPECT_EQ(o.Ctx.Form1.Memo1.back(), "Local IP:192.168.77.23");
}

}  // namespace
}  // namespace kstbell::test
