// The session's holds of its horn against another program on this PC (a second set of the
// PC's locks in this process), against the in-process simulator; waits are recorded, not waited.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "device/file_transfer.h"
#include "device/firmware_update.h"
#include "platform/host_locks_posix.h"
#include "shell/main_window_actions.h"
#include "support/sim_fixture.h"

namespace kstbell::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
constexpr const char* kTransferring = "another program on this PC is transferring to this horn";

struct HostHoldTest : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("kstbell-hold-" + std::to_string(::getpid()));
    std::optional<TPosixHostLocks> locks, other;
    TSimBench b;
    TDeviceSession& s = b.Ctx.Session;
    THoldAttempt otherHold;

    void SetUp() override {
        fs::create_directories(dir);
        locks.emplace(std::vector<TLockFolder>{{dir.string(), "", true}});
        other.emplace(std::vector<TLockFolder>{{dir.string(), "", true}});
        s.HostLock.Locks = &*locks;
        s.HostLock.Pump = &b.Host;
        s.HostLock.WaitMs = 4 * kHostHoldSliceMs;
    }
    void TearDown() override { fs::remove_all(dir); }

    // The other program holds the horn; it lets go at the given pause of this session's wait.
    void OtherHolds(THoldKind kind, int releaseAtSlice = -1) {
        otherHold = other->TryHold("127.0.0.1", b.Sim.Port(), kind);
        ASSERT_EQ(otherHold.Status, THoldAttempt::TStatus::Taken);
        b.Host.OnSleep = [this, releaseAtSlice](int) {
            if (static_cast<int>(b.Host.Sleeps.size()) == releaseAtSlice) otherHold.Hold.reset();
        };
    }
    THoldAttempt::TStatus OtherTries(THoldKind kind) {
        return other->TryHold("127.0.0.1", b.Sim.Port(), kind).Status;
    }
};

TEST_F(HostHoldTest, RequestsAndTransfersWaitForTheOtherProgramAndPollsSkipIt) {
    const std::string inUse =
        "another program on this PC is transferring to or talking to this horn";
    const auto status = [](TDeviceSession& d) { return RequestStatus(d); };
    const auto write = [](TDeviceSession& d) { return WriteDeviceFileBytes(d, "/local/x", "x"); };
    struct Case {
        const char* what;
        THoldKind otherKind;
        int releaseAtSlice;
        std::function<TOutcome(TDeviceSession&)> run;
        TOutcomeKind kind;
        std::string message;
        std::vector<int> sleeps;
        std::size_t sent;
    };
    const std::vector<Case> cases = {
        {"a request, the transfer ends",
         THoldKind::Exclusive,
         2,
         status,
         TOutcomeKind::Done,
         "",
         {50, 50},
         1},
        {"a request, it does not",
         THoldKind::Exclusive,
         -1,
         status,
         TOutcomeKind::Busy,
         kTransferring,
         {50, 50, 50, 50},
         0},
        {"a file, a request ends",
         THoldKind::Shared,
         1,
         write,
         TOutcomeKind::Done,
         "",
         {50, kDataPhasePauseMs},
         2},
        {"a file, it does not",
         THoldKind::Shared,
         -1,
         write,
         TOutcomeKind::Busy,
         inUse,
         {50, 50, 50, 50},
         0},
    };
    for (const Case& c : cases) {
        b.Host.Sleeps.clear();
        b.Host.Pumps = 0;
        b.Sim.ClearRequests();
        OtherHolds(c.otherKind, c.releaseAtSlice);
        const TOutcome o = c.run(s);
        EXPECT_EQ(o.Kind, c.kind) << c.what;
        EXPECT_EQ(o.Message, c.message) << c.what;
        EXPECT_EQ(b.Host.Sleeps, c.sleeps) << c.what;
        EXPECT_GE(b.Host.Pumps, 1) << c.what;  // the window stays alive meanwhile
        WaitUntil([&] { return b.Sim.Requests().size() >= c.sent; });
        EXPECT_EQ(b.Sim.Requests().size(), c.sent) << c.what;
        EXPECT_FALSE(s.Link.LinkBusy) << c.what;
        otherHold.Hold.reset();
    }

    // A poll neither waits nor counts as a missed one; a queued request keeps its place.
    FormActivate(b.Ctx);
    Timer3Timer(b.Ctx);  // identifies the horn
    ASSERT_TRUE(s.Flags.DeviceInfoValid);
    OtherHolds(THoldKind::Exclusive);
    b.Sim.ClearRequests();
    b.Host.Sleeps.clear();
    for (int check = 0; check < 3; ++check) {
        s.Poll.TickCount = 30;
        Timer3Timer(b.Ctx);
    }
    QueueFindMe(s);
    Timer3Timer(b.Ctx);
    EXPECT_TRUE(b.Host.Sleeps.empty());
    EXPECT_TRUE(b.Sim.Requests().empty());
    EXPECT_TRUE(s.Poll.Presence.Online());
    EXPECT_EQ(s.Poll.QueuedCode, CMD_SET_LOCATOR);
    EXPECT_EQ(b.Ctx.Form1.Memo1.back(), std::string("Skipped: ") + kTransferring);

    // A program that stops gives up waiting.
    std::atomic<bool> stop{true};
    s.HostLock.Stop = &stop;
    const TOutcome stopped = RequestStatus(s);
    EXPECT_EQ(stopped.Kind, TOutcomeKind::Cancelled);
    EXPECT_EQ(stopped.Message, "the program is stopping");
}

TEST_F(HostHoldTest, ATransferHoldsTheHornFromHeaderToSumAndItsOwnRequestsGoThrough) {
    // Between the header and the data, and before the sum is asked, nobody else gets the horn;
    // the session's own header, data and sum requests need no hold of their own.
    std::vector<THoldAttempt::TStatus> duringPauses;
    b.Host.OnSleep = [&](int) { duringPauses.push_back(OtherTries(THoldKind::Shared)); };
    EXPECT_TRUE(WriteDeviceFileBytes(s, "/local/location.cfg", "Hall 2").Ok());
    EXPECT_TRUE(SimFileIs(b.Sim, "/local/location.cfg", Bytes{'H', 'a', 'l', 'l', ' ', '2'}));

    const fs::path image = dir / "image.bin";
    std::ofstream(image, std::ios::binary) << std::string(3000, 'i');
    s.Flags.SupportedModel = true;
    const TOutcome uploaded = UploadFirmware(s, image.string());
    EXPECT_TRUE(uploaded.Ok()) << uploaded.Message;
    EXPECT_TRUE(s.Link.ChecksumMatched);
    using TStatus = THoldAttempt::TStatus;
    EXPECT_EQ(duringPauses, (std::vector<TStatus>{TStatus::HeldElsewhere, TStatus::HeldElsewhere,
                                                  TStatus::HeldElsewhere}));
    EXPECT_EQ(OtherTries(THoldKind::Exclusive), TStatus::Taken);
}

}  // namespace
}  // namespace kstbell::test
