// File writes and deletes against the in-process simulator.

#include <gtest/gtest.h>

#include <cstring>

#include "device/file_transfer.h"
#include "shell/commit_boxes.h"
#include "shell/main_window_actions.h"
#include "support/sim_fixture.h"

namespace kstbell::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct FileTransferTest : ::testing::Test {
    TSimBench b;
    TContext& ctx = b.Ctx;

    TOutcome Write(const std::string& path, const Bytes& content) {
        std::copy(content.begin(), content.end(), ctx.Session.ImageBuffer.data());
        return WriteDeviceFile(ctx.Session, path, static_cast<std::int32_t>(content.size()));
    }
    // What the device received, once it has taken in at least the expected connections.
    std::vector<sim::TSimRequest> Requests(std::size_t expected = 0) const {
        WaitUntil([&] { return b.Sim.Requests().size() >= expected; }, std::chrono::seconds(2));
        return b.Sim.Requests();
    }
};

TEST_F(FileTransferTest, WriteSendsHeaderThenExactlyTheContent) {
    ctx.Session.Link.Request[40] = 0x77;  // left over from an earlier request: the header clears it
    ASSERT_TRUE(Write("/local/locate.cfg", {'a', 'b', 'c'}).Ok());
    const auto requests = Requests(2);
    ASSERT_EQ(requests.size(), 2u);
    Bytes header(60, 0);
    const Bytes head{0x5A, 0x35, 0x77, 0xA5, 0x5F, 0, 0, 0, 3, 0, 0, 0x01, 0x26, 0, 0, 0, 17};
    std::copy(head.begin(), head.end(), header.begin());
    std::memcpy(header.data() + 17, "/local/locate.cfg", 17);
    EXPECT_EQ(requests[0].Bytes, header);
    EXPECT_TRUE(requests[1].DataConnection);
    EXPECT_EQ(requests[1].Bytes, (Bytes{'a', 'b', 'c'}));
    EXPECT_TRUE(SimFileIs(b.Sim, "/local/locate.cfg", (Bytes{'a', 'b', 'c'})));
    EXPECT_EQ(b.Host.Sleeps, (std::vector<int>{1500}));
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[0], "Transfer Length => 3");
    EXPECT_EQ(ctx.Form2.CGauge1.MaxValue, 3);
    EXPECT_EQ(ctx.Form2.CGauge1.ForeColor, clRed);
    EXPECT_FALSE(ctx.Session.Link.LinkBusy);
}

TEST_F(FileTransferTest, PiecesGaugeAndRepaints) {
    Bytes content(65537);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(Write("/local/big.bin", content).Ok());
    EXPECT_TRUE(SimFileIs(b.Sim, "/local/big.bin", content));
    EXPECT_EQ(ctx.Form2.CGauge1.MaxValue, 65537 - 1024);
    EXPECT_EQ(ctx.Form2.CGauge1.Progress, 65537);
    EXPECT_EQ(b.Host.Repaints, 2);  // the first piece and the one at 65,536

    b.Host.Repaints = 0;
    ASSERT_TRUE(Write("/local/mid.bin", Bytes(1500, 0xAB)).Ok());
    EXPECT_EQ(ctx.Form2.CGauge1.MaxValue, 476);
    EXPECT_EQ(ctx.Form2.CGauge1.Progress, 1500);
    EXPECT_EQ(b.Host.Repaints, 1);
}

TEST_F(FileTransferTest, EmptyContentStillOpensTheDataConnection) {
    ASSERT_TRUE(Write("/local/empty.cfg", {}).Ok());
    const auto requests = Requests(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Bytes[8], 0);
    EXPECT_TRUE(SimFileIs(b.Sim, "/local/empty.cfg", Bytes{}));
    EXPECT_EQ(ctx.Form2.CGauge1.MaxValue, 0);
}

TEST_F(FileTransferTest, DeleteSendsFortyBytesWithTheOldParameters) {
    Write("/local/sta_ip.cfg", Bytes(12, 1));
    ASSERT_TRUE(SimFileIs(b.Sim, "/local/sta_ip.cfg", Bytes(12, 1)));
    b.Sim.ClearRequests();
    std::memset(&ctx.Session.Link.Request[5], 0xEE, 11);
    ASSERT_TRUE(DeleteDeviceFile(ctx.Session, "/local/sta_ip.cfg").Ok());
    const auto request = Requests(1).at(0).Bytes;
    ASSERT_EQ(request.size(), 40u);
    EXPECT_EQ(request[4], CMD_KILL_FILE);
    EXPECT_EQ(request[5], 0xEE);  // bytes 5 to 15 are not written by a delete
    EXPECT_EQ(request[16], 17);
    EXPECT_EQ(std::string(request.begin() + 17, request.begin() + 34), "/local/sta_ip.cfg");
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[0], "Kill file in Flash Done!");
    EXPECT_TRUE(SimFileIs(b.Sim, "/local/sta_ip.cfg", std::nullopt));
}

TEST_F(FileTransferTest, OverlongPathsAreRefusedBeforeAnythingIsSent) {
    EXPECT_TRUE(Write("/" + std::string(42, 'w'), {'x'}).Ok());
    ASSERT_TRUE(SimFileIs(b.Sim, "/" + std::string(42, 'w'), Bytes{'x'}));
    b.Sim.ClearRequests();
    const auto write = Write("/" + std::string(43, 'w'), {'x'});
    EXPECT_FALSE(write.Ok());
    EXPECT_NE(FailureReason(write).find("longer than 43"), std::string::npos);
    const auto del = DeleteDeviceFile(ctx.Session, "/" + std::string(23, 'd'));
    EXPECT_FALSE(del.Ok());
    EXPECT_TRUE(Requests().empty());
}

TEST_F(FileTransferTest, UnreachableDeviceIsReportedNotHidden) {
    b.Sim.Stop();
    const auto result = Write("/local/locate.cfg", {'a'});
    EXPECT_FALSE(result.Ok());
    EXPECT_NE(FailureReason(result).find("Connect Timeout"), std::string::npos)
        << FailureReason(result);
    EXPECT_FALSE(ctx.Session.Link.LinkBusy);
    EXPECT_FALSE(DeleteDeviceFile(ctx.Session, "/local/locate.cfg").Ok());
}

TEST_F(FileTransferTest, TickOrClickDuringTheDataPhaseNeitherSendsNorCorrupts) {
    Bytes content(5000);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>(i);
    int nested = 0;
    b.Host.OnPump = [&] {
        // Only in the data phase, which follows the pause.
        if (!ctx.Session.Link.LinkBusy || b.Host.Sleeps.empty() || nested > 0) return;
        ++nested;
        QueueFindMe(ctx.Session);  // writes the request area
        Timer3Timer(ctx);          // the tick finds the link busy
        RequestStatus(ctx.Session);
    };
    ASSERT_TRUE(Write("/local/data.bin", content).Ok());
    EXPECT_GT(nested, 0);
    const auto requests = Requests(2);
    ASSERT_EQ(requests.size(), 2u);  // the header and the data, nothing else
    EXPECT_EQ(requests[1].Bytes, content);
}

TEST_F(FileTransferTest, DeviceResettingTheDataConnectionIsReported) {
    // A device that closes every connection at once: the header goes out, the data breaks off.
    // The file is larger than what the sockets' buffers can take in, so the break shows up
    // however late the device gets round to closing.
    Write("/local/warmup", {'x'});
    sim::TSimFaults faults;
    faults.CloseOnAccept = true;
    b.Sim.SetFaults(faults);
    const auto result = Write("/local/big.bin", Bytes(16 * 1024 * 1024, 1));
    EXPECT_FALSE(result.Ok());
    EXPECT_FALSE(ctx.Session.Link.LinkBusy);
    b.Sim.SetFaults({});
    EXPECT_TRUE(Write("/local/after.bin", {'y'}).Ok());  // the program goes on
}

}  // namespace
}  // namespace kstbell::test
