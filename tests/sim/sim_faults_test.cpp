#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <random>
#include <stdexcept>

#include "sim/device_simulator.h"
#include "sim_client.h"

namespace kstbell::sim::test {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr std::uint8_t kMagic[] = {0x5A, 0x35, 0x77, 0xA5};

class SimFaults : public ::testing::Test {
  protected:
    SimFaults() : sim_(LoopbackOptions()) { sim_.Start(); }

    TExchange Ask(const TBytes& request, int timeoutMs = 3000) {
        return Exchange(sim_.Port(), request, timeoutMs);
    }
    // The server still answers an ordinary request correctly.
    void ExpectServing() {
        const TExchange status = Ask(Frame(216));
        EXPECT_EQ(status.Reply.size(), 13u);
        EXPECT_EQ(status.Reply.at(5), 6);
    }
    void SetFaults(auto change) {
        TSimFaults faults;
        change(faults);
        sim_.SetFaults(faults);
    }

    TDeviceSimulator sim_;
};

TEST_F(SimFaults, NegativeStatusRefusesTheCommand) {
    SetFaults([](TSimFaults& f) { f.NegativeStatus = true; });
    EXPECT_EQ(Ask(Frame(208, {1, 1, 2})).Reply, (TBytes{0x5A, 0x35, 0x77, 0xA5, 208, 0x15}));
    EXPECT_EQ(sim_.Snapshot().Relay, 0);
    EXPECT_EQ(Ask(Frame(33, {0, 0})).Reply.size(), 6u);
    sim_.SetFaults({});
    EXPECT_EQ(Ask(Frame(208, {1, 1, 2})).Reply[5], 6);
}

TEST_F(SimFaults, WrongMagicKeepsTheRestOfTheReply) {
    SetFaults([](TSimFaults& f) { f.WrongMagic = true; });
    const TBytes reply = Ask(Frame(216)).Reply;
    ASSERT_EQ(reply.size(), 13u);
    EXPECT_EQ(TBytes(reply.begin(), reply.begin() + 6), (TBytes{0, 0, 0, 0, 216, 6}));
}

TEST_F(SimFaults, DelayedAndSplitRepliesArriveWhole) {
    SetFaults([](TSimFaults& f) { f.ReplyDelayMs = 150; });
    auto start = TClock::now();
    EXPECT_EQ(Ask(Frame(216)).Reply.size(), 13u);
    EXPECT_GE(TClock::now() - start, 150ms);

    SetFaults([](TSimFaults& f) { f.SplitReplyGapMs = 150; });
    start = TClock::now();
    const TBytes info = Ask(Frame(33, {0, 0})).Reply;
    EXPECT_GE(TClock::now() - start, 150ms);
    ASSERT_EQ(info.size(), 256u);
    EXPECT_EQ(info[196], 1);
}

TEST_F(SimFaults, BrokenConnectionsLeaveTheServerServing) {
    SetFaults([](TSimFaults& f) { f.CloseOnAccept = true; });
    const TExchange closed = Ask(Frame(216));
    EXPECT_TRUE(closed.Reply.empty());
    EXPECT_FALSE(closed.TimedOut);
    EXPECT_TRUE(sim_.Requests().empty());

    // A data connection closed on accept ends its upload: the client's next connection is a
    // request, not the stale data phase.
    sim_.SetFaults({});
    ASSERT_EQ(Ask(FileHeader(95, 1, 'x', "/local/x.cfg")).Reply.at(5), 6);
    SetFaults([](TSimFaults& f) { f.CloseOnAccept = true; });
    EXPECT_TRUE(Ask(AsBytes("x")).Reply.empty());
    sim_.SetFaults({});
    ExpectServing();
    EXPECT_FALSE(sim_.ReadFile("/local/x.cfg"));

    SetFaults([](TSimFaults& f) { f.ResetMidReply = true; });
    const TExchange reset = Ask(Frame(216));
    EXPECT_TRUE(reset.Reset);
    EXPECT_LT(reset.Reply.size(), 13u);

    sim_.SetFaults({});
    ExpectServing();
}

TEST_F(SimFaults, StopIsPromptWhileAConnectionIsHeldOrDelayed) {
    for (const bool neverAnswer : {true, false}) {
        SCOPED_TRACE(neverAnswer);
        TDeviceSimulator sim(LoopbackOptions());
        TSimFaults faults;
        faults.NeverAnswer = neverAnswer;
        faults.ReplyDelayMs = neverAnswer ? 0 : 10000;
        sim.SetFaults(faults);
        sim.Start();
        auto client = std::async(std::launch::async, [port = sim.Port()] {
            return Exchange(port, Frame(216), 5000, 0, false);
        });
        ASSERT_TRUE(WaitFor([&] { return sim.Requests().size() == 1; }));
        EXPECT_EQ(client.wait_for(100ms), std::future_status::timeout);

        const auto start = TClock::now();
        sim.Stop();
        EXPECT_LT(TClock::now() - start, 500ms);
        const TExchange ended = client.get();
        EXPECT_TRUE(ended.Reply.empty());
        EXPECT_FALSE(ended.TimedOut);
        sim.Stop();  // idempotent
    }
}

TEST_F(SimFaults, MalformedInputIsDroppedOrRefused) {
    // Short request: dropped without an answer.
    EXPECT_TRUE(Ask(TBytes{0x5A, 0x35, 0x77}).Reply.empty());
    EXPECT_TRUE(Ask(Frame(95, TBytes(20, 0))).Reply.empty());
    // Wrong magic: no answer.
    EXPECT_TRUE(Ask(TBytes{0x5A, 0x35, 0x77, 0xA6, 33, 0, 0}).Reply.empty());
    // Unknown code: the code echoed with a negative status.
    EXPECT_EQ(Ask(Frame(0x77, {1, 2, 3})).Reply, (TBytes{0x5A, 0x35, 0x77, 0xA5, 0x77, 0x15}));
    // A request trickling in byte by byte is put together.
    EXPECT_EQ(Exchange(sim_.Port(), Frame(33, {0, 0, 0, 0}), 3000, 1).Reply.size(), 256u);

    std::mt19937 random(99);
    for (int round = 0; round < 150; ++round) {
        TBytes garbage(1 + random() % 100);
        for (auto& b : garbage)
            b = static_cast<std::uint8_t>(random());
        // A third get past the magic, some of those with a key request's length byte.
        if (round % 3 == 0 && garbage.size() > 5) {
            std::copy_n(std::begin(kMagic), 4, garbage.begin());
            if (round % 6 == 0) garbage[4] = 50;
        }
        Ask(garbage);
    }
    sim_.SetFaults({});
    ExpectServing();
}

std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                      std::filesystem::directory_iterator{}));
}

TEST_F(SimFaults, ManyConnectionsLeakNoDescriptors) {
    // Counted before the first connection, so that no server-side socket is still closing.
    const std::size_t before = OpenDescriptors();
    const TBytes requests[] = {Frame(216), Frame(33, {0, 0}), Frame(0x77), TBytes{1, 2, 3},
                               TBytes{0x5A, 0x35}};
    for (int i = 0; i < 500; ++i)
        Ask(requests[i % std::size(requests)]);
    SetFaults([](TSimFaults& f) { f.ResetMidReply = true; });
    for (int i = 0; i < 20; ++i)
        Ask(Frame(216));
    // The server closes its side just after the client saw the end of the stream.
    EXPECT_TRUE(WaitFor([&] { return OpenDescriptors() == before; }))
        << OpenDescriptors() << " open, " << before << " before";
}

TEST(SimLifecycle, BindFailureIsReportedAndLoggingIsOptIn) {
    TDeviceSimulator first(LoopbackOptions());
    first.Start();
    first.Start();  // already running: nothing happens

    TSimOptions busy = LoopbackOptions();
    busy.Port = first.Port();
    TDeviceSimulator second(busy);
    EXPECT_THROW(second.Start(), std::runtime_error);

    TSimOptions badAddress = LoopbackOptions();
    badAddress.BindAddress = "not-an-address";
    TDeviceSimulator third(badAddress);
    EXPECT_THROW(third.Start(), std::runtime_error);

    ::testing::internal::CaptureStderr();
    Exchange(first.Port(), Frame(216));
    first.Stop();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    TSimOptions logged = LoopbackOptions();
    logged.LogToStderr = true;
    TDeviceSimulator talking(logged);
    ::testing::internal::CaptureStderr();
    talking.Start();
    Exchange(talking.Port(), Frame(33, {0, 0}));
    talking.Stop();
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("33 (0x21)"), std::string::npos) << log;
    EXPECT_NE(log.find("5A 35 77 A5 21 00 00"), std::string::npos) << log;
}

}  // namespace
}  // namespace kstbell::sim::test
