#pragma once

// Runs the work of many horns on a fixed set of worker threads. One horn's work runs one piece
// at a time, so its session is only ever used by one thread, and its commands go before its
// polls; different horns' work runs side by side. A horn that does not answer therefore holds
// up only its own work: no sweep or batch waits for the slowest horn. Horns marked slow (their
// last request went unanswered) may occupy at most half of the workers at once, so that the
// horns that answer always find a free worker.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
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

    void Work();
    void PollClock(std::chrono::milliseconds period);
    void List(std::size_t horn);
    bool Take(std::size_t& horn, TLane& lane, bool& slow);
    bool TakeFrom(std::deque<std::size_t>& list, TLane lane, std::size_t& horn);
    bool Busy() const;

    THandlers handlers_;
    std::size_t maxSlowRunning_;
    mutable std::mutex m_;
    std::condition_variable workCv_;
    std::condition_variable idleCv_;
    std::condition_variable clockCv_;
    std::vector<THorn> horns_;
    // Horns with work, in the order it came; a horn may be listed more than once and stale
    // entries are skipped when taken.
    std::deque<std::size_t> commandsFast_, commandsSlow_, pollsFast_, pollsSlow_;
    std::size_t running_ = 0;
    std::size_t slowRunning_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
    std::thread clock_;
};

}  // namespace kstbell::site
