// The link against the in-process simulator on loopback, through real sockets.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/reply_builder.h"
#include "support/sim_fixture.h"

namespace kstbell::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::steady_clock;

Bytes Frame(std::initializer_list<std::uint8_t> tail) {
    Bytes b(FrameMagic.begin(), FrameMagic.end());
    b.insert(b.end(), tail);
    return b;
}

Bytes LastRequest(const sim::TDeviceSimulator& s) {
    auto requests = s.Requests();
    return requests.empty() ? Bytes{} : requests.back().Bytes;
}

double SecondsSince(steady_clock::time_point t) {
    return std::chrono::duration<double>(steady_clock::now() - t).count();
}

TEST(TransactionSimTest, SendersPutTheirFramesOnTheWire) {
    TSimBench b;
    auto& ctx = b.Ctx;
    ctx.Session.Link.DeviceIp = "127.0.0.1";

    RequestDeviceInfo(ctx.Session);
    EXPECT_EQ(LastRequest(b.Sim), Frame({0x21, 0, 0}));
    RequestStatus(ctx.Session);
    EXPECT_EQ(LastRequest(b.Sim), Frame({0xD8}));
    ctx.Session.ImageSum = 1;  // differs from the device's sum: no reset follows
    RequestImageChecksum(ctx.Session, 0x01020304);
    EXPECT_EQ(LastRequest(b.Sim), Frame({0x25, 1, 2, 3, 4}));
    NotifyImageChecksum(ctx.Session, 0xA0B0C0D0);
    ASSERT_TRUE(WaitUntil([&] { return b.Sim.Requests().size() == 4; }));
    EXPECT_EQ(LastRequest(b.Sim), Frame({0x26, 0xA0, 0xB0, 0xC0, 0xD0}));
    QueueFindMe(ctx.Session);  // the tick sends it with the queued parameters
    std::copy(ctx.Session.Poll.QueuedParams.begin(), ctx.Session.Poll.QueuedParams.end(),
              &ctx.Session.Link.Request[5]);
    RunTransaction(ctx.Session, 9);
    EXPECT_EQ(LastRequest(b.Sim), Frame({0x1D, 0, 0, 0, 0}));
    EXPECT_EQ(b.Ctx.Form1.StatusBar2.Panels[0], "Set Locator done!");
    RequestReset(ctx.Session);
    ASSERT_TRUE(WaitUntil([&] { return b.Sim.Snapshot().RestartCount == 1; }));
    EXPECT_EQ(LastRequest(b.Sim), Frame({0x2D}));
}

TEST(TransactionSimTest, InformationFromTheSimulatorIdentifiesTheDevice) {
    TSimBench b;
    RequestDeviceInfo(b.Ctx.Session);
    const auto& f = b.Ctx.Form1;
    EXPECT_EQ(f.Label4.Caption, "Get Device Linked!!");
    EXPECT_EQ(f.StatusBar1.Panels[0], "Dev MAC: 02:4B:7A:3C:60:01");
    EXPECT_TRUE(b.Ctx.Session.Flags.DeviceInfoValid);
    EXPECT_TRUE(f.SpeedButton4.Enabled);
    EXPECT_EQ(f.Label12.Caption, "RSSI: -50dBm");
}

TEST(TransactionSimTest, ReplyInPiecesIsReadWholeWithinTheWaitOrNotAtAll) {
    // Gaps shorter and longer than the read's quiet gap: the information reply is read whole
    // and decoded. A second piece that comes after the reply wait leaves a short reply that
    // is not decoded: nothing shown changes and it counts as no reply.
    struct Case {
        int gapMs;
        bool whole;
    };
    for (const Case c : {Case{5, true}, Case{15, true}, Case{300, true}, Case{1500, false}}) {
        SCOPED_TRACE(c.gapMs);
        auto options = TSimBench::DefaultOptions();
        options.Faults.SplitReplyGapMs = c.gapMs;
        TSimBench b(options);
        RequestDeviceInfo(b.Ctx.Session);
        EXPECT_EQ(b.Ctx.Session.Flags.DeviceInfoValid, c.whole);
        EXPECT_EQ(b.Ctx.Session.Link.LastOutcome,
                  c.whole ? TTransactionOutcome::Replied : TTransactionOutcome::NoReply);
        EXPECT_EQ(b.Ctx.Form1.Label4.Caption, c.whole ? "Get Device Linked!!" : "");
        EXPECT_EQ(b.Ctx.Form1.Label12.Caption, c.whole ? "RSSI: -50dBm" : "RSSI:");
        EXPECT_EQ(b.Ctx.Session.DeviceInfo.ModbusPort, 502);
        EXPECT_EQ(b.Ctx.Session.DeviceInfo.WifiMode, c.whole ? 2 : 0);  // the simulator runs as AP
    }
}

TEST(TransactionSimTest, RefusedConnectShowsConnectTimeout) {
    TSimBench b;
    const std::uint16_t port = b.Sim.Port();
    b.Sim.Stop();
    b.Ctx.Session.Link.DevicePort = port;
    RequestStatus(b.Ctx.Session);
    EXPECT_EQ(b.Ctx.Form1.StatusBar2.Panels[0], "Connect Timeout");
    EXPECT_EQ(b.Ctx.Session.Link.PendingCode, 0);
    EXPECT_FALSE(b.Ctx.Session.Link.LinkBusy);
    EXPECT_TRUE(b.Host.Boxes.empty());
}

TEST(TransactionSimTest, SilentDeviceReturnsAfterAboutASecondKeepingTheCode) {
    auto options = TSimBench::DefaultOptions();
    options.Faults.NeverAnswer = true;
    TSimBench b(options);
    const auto start = steady_clock::now();
    RequestStatus(b.Ctx.Session);
    const double took = SecondsSince(start);
    EXPECT_GT(took, 0.9);
    EXPECT_LT(took, 5.0);  // bounded: a silent device never hangs the program
    EXPECT_EQ(b.Ctx.Session.Link.PendingCode, CMD_GET_STATUS);
    EXPECT_FALSE(b.Ctx.Session.Link.LinkBusy);
    EXPECT_TRUE(b.Host.Boxes.empty());
    EXPECT_EQ(b.Ctx.Form1.StatusBar2.Panels[0], "");
}

TEST(TransactionSimTest, ResetMidReplyIsReportedAndTheNextRequestWorks) {
    auto options = TSimBench::DefaultOptions();
    options.Faults.ResetMidReply = true;
    TSimBench b(options);
    RequestDeviceInfo(b.Ctx.Session);
    ASSERT_EQ(b.Host.Boxes.size(), 1u);
    EXPECT_EQ(b.Host.Boxes[0].Icon, TMsgIcon::Error);
    EXPECT_NE(b.Host.Boxes[0].Text.find("reset"), std::string::npos) << b.Host.Boxes[0].Text;
    EXPECT_FALSE(b.Ctx.Session.Flags.DeviceInfoValid);
    EXPECT_FALSE(b.Ctx.Session.Link.LinkBusy);

    b.Sim.SetFaults({});
    RequestDeviceInfo(b.Ctx.Session);
    EXPECT_TRUE(b.Ctx.Session.Flags.DeviceInfoValid);
}

TEST(TransactionSimTest, WrongMagicAndNegativeStatusFromTheDevice) {
    auto options = TSimBench::DefaultOptions();
    options.Faults.WrongMagic = true;
    TSimBench b(options);
    RequestStatus(b.Ctx.Session);
    EXPECT_EQ(b.Ctx.Form1.StatusBar2.Panels[0], "InValid Header package!");

    sim::TSimFaults negative;
    negative.NegativeStatus = true;
    b.Sim.SetFaults(negative);
    RequestDeviceInfo(b.Ctx.Session);
    EXPECT_FALSE(b.Ctx.Session.Flags.DeviceInfoValid);
    EXPECT_EQ(b.Ctx.Session.Poll.QueuedCode, CMD_GET_DEVICE_INFO);  // asked again on the next tick
}

TEST(TransactionSimTest, ClickDuringConnectRewritesTheRunningRequest) {
    TSimBench b;
    bool clicked = false;
    b.Host.OnPump = [&] {
        if (clicked || !b.Ctx.Session.Link.LinkBusy) return;
        clicked = true;
        QueueFindMe(b.Ctx.Session);
        RunTransaction(b.Ctx.Session, 9);  // dropped: the link is busy
    };
    RequestStatus(b.Ctx.Session);
    ASSERT_TRUE(clicked);
    ASSERT_EQ(b.Sim.Requests().size(), 1u);
    EXPECT_EQ(LastRequest(b.Sim), Frame({0x1D, 0, 0}));
    EXPECT_EQ(b.Sim.Snapshot().LocatorCount, 1);
    EXPECT_EQ(b.Ctx.Form1.StatusBar2.Panels[0], "Set Locator done!");
}

TEST(TransactionSimTest, ConfirmedFirmwareChecksumResetsTheDeviceOnce) {
    TSimBench b;
    // No image stored: the device's sum is 0, and so is ours.
    b.Ctx.Session.ImageSum = 0;
    b.Host.OnBox = [&] { EXPECT_EQ(b.Sim.Snapshot().RestartCount, 0); };
    RequestImageChecksum(b.Ctx.Session, 0);
    ASSERT_EQ(b.Host.Boxes.size(), 1u);
    EXPECT_EQ(b.Host.Boxes[0].Text, "F/W update Complete! Reboot to take effect");
    ASSERT_TRUE(WaitUntil([&] { return b.Sim.Snapshot().RestartCount >= 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(b.Sim.Snapshot().RestartCount, 1);
    EXPECT_EQ(LastRequest(b.Sim), Frame({0x2D}));
}

TEST(TransactionSimTest, ManyTransactionsLeaveNoSocketOpen) {
    TSimBench b;
    auto openFds = [] {
        int n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
            ++n;
        return n;
    };
    const int before = openFds();
    for (int i = 0; i < 200; ++i)
        RequestStatus(b.Ctx.Session);
    EXPECT_EQ(b.Sim.Requests().size(), 200u);
    // The simulator's thread closes its side of each connection a moment after ours.
    EXPECT_TRUE(WaitUntil([&] { return openFds() <= before; })) << openFds() << " > " << before;
}

}  // namespace
}  // namespace kstbell::test
