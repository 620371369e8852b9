#pragma once

// Runs the work of many horns on a fixed set of worker threads. One horn's work runs one piece
// at a time, so its session is only ever used by one thread, and its commands go before its
// polls; different horns' work runs side by side. A horn that does not answer therefore holds
// up only its own work: no sweep or batch waits for the slowest horn. Horns marked slow (their
// last request went unanswered) may occupy at most half of the workers at once, so that the
// horns that answer always find a free worker.
//
// The poll clock is kept by the workers themselves: an idle one waits for the next poll that is
// due and runs it on its own thread, no hand-off per poll. While it runs a poll another idle
// worker takes over the clock, unless the poll (a horn that answers) is likely to end before the
// next one is due.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <queue>
#include <thread>
#include <utility>
#include <vector>

namespace kstbell::site {

class THornRunner {
  public:
    struct THandlers {
        std::function<void(std::size_t horn)> Commands;  // runs the horn's waiting commands
        std::function<void(std::size_t horn)> Poll;      // polls the horn once
    };

    THornRunner(std::size_t horns, std::size_t workers, THandlers handlers);
    ~THornRunner();
    THornRunner(const THornRunner&) = delete;
    THornRunner& operator=(const THornRunner&) = delete;

    // The horn's commands are to be run: as soon as a worker is free and the horn's running
    // work, if any, has ended.
    void WakeCommands(std::size_t horn);
    // One poll of the horn. False, and nothing more asked, when one is already waiting or
    // running.
    bool RequestPoll(std::size_t horn);
    // Marks the horn slow (its last request got no answer) or not.
    void SetSlow(std::size_t horn, bool slow);

    // Polls every horn once a period, the horns spread evenly over it; a horn whose last poll
    // is still waiting or running when the next is due skips that one.
    void StartPolling(std::chrono::milliseconds period);

    // No new work starts; waiting work is dropped; returns when the running work has ended.
    // Idempotent.
    void Stop();
    // Returns once no work is waiting or running.
    void WaitIdle();

    std::size_t Workers() const { return threads_.size(); }

  private:
    enum class TLane { Commands, Poll };
    struct THorn {
        bool CommandsWanted = false;
        bool PollWanted = false;
        bool Running = false;
        bool RunningPoll = false;
        bool Slow = false;
    };

    using TClock = std::chrono::steady_clock;
    using TDue = std::pair<TClock::time_point, std::size_t>;

    void Work();
    // Asks for the polls that are due by now, without waking anyone.
    void MarkDue(TClock::time_point now);
    void List(std::size_t horn, bool wake = true);
    bool Take(std::size_t& horn, TLane& lane, bool& slow);
    bool TakeFrom(std::deque<std::size_t>& list, TLane lane, std::size_t& horn);
    bool Busy() const;

    THandlers handlers_;
    std::size_t maxSlowRunning_;
    mutable std::mutex m_;
    std::condition_variable workCv_;
    std::condition_variable idleCv_;
    std::vector<THorn> horns_;
    // Horns with work, in the order it came; a horn may be listed more than once and stale
    // entries are skipped when taken.
    std::deque<std::size_t> commandsFast_, commandsSlow_, pollsFast_, pollsSlow_;
    std::size_t running_ = 0;
    std::size_t slowRunning_ = 0;
    bool stopping_ = false;
    // The poll schedule: each horn's next poll, a step apart.
    std::priority_queue<TDue, std::vector<TDue>, std::greater<>> due_;
    TClock::duration step_{};
    bool polling_ = false;
    bool clockKept_ = false;  // an idle worker waits for the next due poll
    std::size_t idle_ = 0;    // workers waiting
    // How long a poll of a horn that answers takes, smoothed; long until measured.
    TClock::duration fastPoll_ = std::chrono::seconds(1);
    std::vector<std::thread> threads_;
};

}  // namespace kstbell::site
