#pragma once

// Starts the alarms that horns' digital inputs are wired to. The site's listener hands in each
// reading of an input (and a horn going offline) and returns at once; a thread of its own asks
// the triggers (debounce, hold-off) and starts the alarms, never under the site's locks.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "alarms/input_triggers.h"

namespace kstbell::service {

class TInputWatch {
  public:
    // start(horn, alarm): starts the alarm for the horn's input.
    using TStart = std::function<void(std::size_t horn, const std::string& alarm)>;

    TInputWatch(std::vector<std::optional<alarms::TInputRule>> rules, TStart start);
    ~TInputWatch();
    TInputWatch(const TInputWatch&) = delete;
    TInputWatch& operator=(const TInputWatch&) = delete;

    // Whether any horn has a rule (otherwise no thread is needed).
    bool Wanted() const { return wanted_; }
    void Start();
    void Stop();

    // From the site's listener: only queues.
    void Reading(std::size_t horn, bool input, site::TInstant when);
    void Lost(std::size_t horn);

  private:
    struct TNote {
        std::size_t Horn = 0;
        bool Input = false;
        bool Lost = false;
        site::TInstant When{};
    };
    void Run();

    std::vector<bool> ruled_;
    bool wanted_ = false;
    alarms::TInputTriggers triggers_;  // only the thread touches it
    TStart start_;
    std::mutex m_;
    std::condition_variable wake_;
    std::deque<TNote> notes_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace kstbell::service
