// The runner: a horn that hangs holds up only its own work, slow horns never take every worker,
// one horn's work never overlaps, and the poll clock polls each horn every period.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "site/horn_runner.h"

namespace kstbell::site {
namespace {

using namespace std::chrono_literals;

// A gate that work waits at until the test opens it.
class TGate {
  public:
    void Wait() {
        std::unique_lock lock(m_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    void Open() {
        const std::lock_guard lock(m_);
        open_ = true;
        changed_.notify_all();
    }
    // Waits until n pieces of work wait at the gate; false after a generous time.
    bool Reached(int n) {
        std::unique_lock lock(m_);
        return changed_.wait_for(lock, 10s, [&] { return waiting_ >= n; });
    }
    int Waiting() {
        const std::lock_guard lock(m_);
        return waiting_;
    }

  private:
    std::mutex m_;
    std::condition_variable changed_;
    bool open_ = false;
    int waiting_ = 0;
};

TEST(HornRunnerTest, HungHornsHoldUpOnlyThemselvesAndNeverTakeEveryWorker) {
    TGate hung;
    std::atomic<int> done{0};
    std::atomic<int> overlapping{0};
    std::vector<std::atomic<int>> inside(6);
    THornRunner* self = nullptr;
    const auto enter = [&](std::size_t h) {
        if (++inside[h] > 1) ++overlapping;
    };
    THornRunner runner(6, 4,
                       {[&](std::size_t h) {
                            enter(h);
                            ++done;
                            --inside[h];
                        },
                        [&](std::size_t h) {
                            enter(h);
                            if (h < 3) hung.Wait();  // horns 0 to 2 stop answering
                            --inside[h];
                        }});
    self = &runner;
    for (std::size_t h = 0; h < 3; ++h)
        runner.SetSlow(h, true);
    for (std::size_t h = 0; h < 3; ++h)
        EXPECT_TRUE(self->RequestPoll(h));
    EXPECT_FALSE(runner.RequestPoll(0)) << "a second poll of a horn whose poll waits";
    // Four workers: at most two go to slow horns, so two hang and the third waits its turn.
    ASSERT_TRUE(hung.Reached(2));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(hung.Waiting(), 2);
    // The other horns' commands and polls go through meanwhile, and a hung horn's command waits
    // behind its own poll only.
    for (std::size_t h = 3; h < 6; ++h) {
        runner.WakeCommands(h);
        runner.RequestPoll(h);
    }
    runner.WakeCommands(0);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (done < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(done, 3);
    hung.Open();
    runner.WaitIdle();
    EXPECT_EQ(done, 4) << "the hung horn's command ran once it answered";
    EXPECT_EQ(overlapping, 0) << "one horn's work overlapped";
}

TEST(HornRunnerTest, PollClockPollsEveryHornEachPeriodAndStopEndsAtOnce) {
    std::vector<std::atomic<int>> polls(50);
    THornRunner runner(50, 8, {[](std::size_t) {}, [&](std::size_t h) { ++polls[h]; }});
    runner.StartPolling(100ms);
    std::this_thread::sleep_for(550ms);
    runner.Stop();
    for (std::size_t h = 0; h < polls.size(); ++h) {
        EXPECT_GE(polls[h], 3) << "horn " << h;
        EXPECT_LE(polls[h], 7) << "horn " << h;
    }
    // Nothing runs after Stop.
    const int before = polls[0];
    EXPECT_FALSE(runner.RequestPoll(0));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(polls[0], before);
}

}  // namespace
}  // namespace kstbell::site
