#include "site/horn_runner.h"

#include <algorithm>
#include <utility>

namespace kstbell::site {

THornRunner::THornRunner(std::size_t horns, std::size_t workers, THandlers handlers)
    : handlers_(std::move(handlers)), horns_(horns) {
    const std::size_t n =
        std::max<std::size_t>(1, std::min(workers, std::max<std::size_t>(horns, 1)));
    maxSlowRunning_ = std::max<std::size_t>(1, n / 2);
    threads_.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        threads_.emplace_back([this] { Work(); });
}

THornRunner::~THornRunner() {
    Stop();
}

void THornRunner::List(std::size_t horn, bool wake) {
    THorn& h = horns_[horn];
    if (h.Running) return;  // listed again when its running work ends
    if (h.CommandsWanted)
        (h.Slow ? commandsSlow_ : commandsFast_).push_back(horn);
    else if (h.PollWanted)
        (h.Slow ? pollsSlow_ : pollsFast_).push_back(horn);
    else
        return;
    if (wake) workCv_.notify_one();
}

void THornRunner::WakeCommands(std::size_t horn) {
    const std::lock_guard lock(m_);
    if (stopping_ || horn >= horns_.size()) return;
    THorn& h = horns_[horn];
    if (h.CommandsWanted) return;
    h.CommandsWanted = true;
    List(horn);
}

bool THornRunner::RequestPoll(std::size_t horn) {
    const std::lock_guard lock(m_);
    if (stopping_ || horn >= horns_.size()) return false;
    THorn& h = horns_[horn];
    if (h.PollWanted || h.RunningPoll) return false;
    h.PollWanted = true;
    List(horn);
    return true;
}

void THornRunner::SetSlow(std::size_t horn, bool slow) {
    const std::lock_guard lock(m_);
    if (horn < horns_.size()) horns_[horn].Slow = slow;
}

bool THornRunner::TakeFrom(std::deque<std::size_t>& list, TLane lane, std::size_t& horn) {
    while (!list.empty()) {
        const std::size_t candidate = list.front();
        list.pop_front();
        const THorn& h = horns_[candidate];
        // Stale: already running, or its work was taken through another list.
        if (h.Running) continue;
        if (lane == TLane::Commands ? !h.CommandsWanted : !h.PollWanted) continue;
        horn = candidate;
        return true;
    }
    return false;
}

bool THornRunner::Take(std::size_t& horn, TLane& lane, bool& slow) {
    const bool slowAllowed = slowRunning_ < maxSlowRunning_;
    struct TChoice {
        std::deque<std::size_t>* List;
        TLane Lane;
        bool Slow;
    };
    const TChoice order[] = {{&commandsFast_, TLane::Commands, false},
                             {&commandsSlow_, TLane::Commands, true},
                             {&pollsFast_, TLane::Poll, false},
                             {&pollsSlow_, TLane::Poll, true}};
    for (const auto& c : order) {
        if (c.Slow && !slowAllowed) continue;
        if (TakeFrom(*c.List, c.Lane, horn)) {
            lane = c.Lane;
            slow = c.Slow;
            // A horn listed for polls may have had commands come meanwhile: they go first.
            if (horns_[horn].CommandsWanted) lane = TLane::Commands;
            return true;
        }
    }
    return false;
}

void THornRunner::Work() {
    std::unique_lock lock(m_);
    for (;;) {
        if (stopping_) return;
        const auto now = TClock::now();
        MarkDue(now);
        std::size_t horn = 0;
        TLane lane = TLane::Poll;
        bool slow = false;
        if (!Take(horn, lane, slow)) {
            // Nothing to do: keep the clock, unless another idle worker does.
            ++idle_;
            if (polling_ && !clockKept_ && !due_.empty()) {
                clockKept_ = true;
                workCv_.wait_until(lock, due_.top().first);
                clockKept_ = false;
            } else {
                workCv_.wait(lock);
            }
            --idle_;
            continue;
        }
        // Work that came with this one goes to another idle worker (which passes on what is left
        // in turn); so does the clock, unless this work is a poll of a horn that answers and is
        // likely over before the next is due.
        const bool more = !commandsFast_.empty() || !commandsSlow_.empty() || !pollsFast_.empty() ||
                          !pollsSlow_.empty();
        if (more && idle_ > 0) workCv_.notify_one();
        const bool backInTime =
            lane == TLane::Poll && !slow && !due_.empty() && due_.top().first - now > 2 * fastPoll_;
        if (polling_ && !clockKept_ && idle_ > 0 && !backInTime) workCv_.notify_one();
        THorn& h = horns_[horn];
        h.Running = true;
        h.RunningPoll = lane == TLane::Poll;
        ++running_;
        if (slow) ++slowRunning_;
        if (lane == TLane::Commands)
            h.CommandsWanted = false;
        else
            h.PollWanted = false;
        lock.unlock();
        const auto began = TClock::now();
        if (lane == TLane::Commands)
            handlers_.Commands(horn);
        else
            handlers_.Poll(horn);
        const auto took = TClock::now() - began;
        lock.lock();
        if (lane == TLane::Poll && !slow) fastPoll_ = (7 * fastPoll_ + took) / 8;
        h.Running = false;
        h.RunningPoll = false;
        --running_;
        if (slow) {
            --slowRunning_;
            workCv_.notify_one();  // a slow horn may be waiting for this place
        }
        if (!stopping_) List(horn);
        if (!Busy()) idleCv_.notify_all();
    }
}

void THornRunner::MarkDue(TClock::time_point now) {
    while (polling_ && !due_.empty() && due_.top().first <= now) {
        auto [when, horn] = due_.top();
        due_.pop();
        THorn& h = horns_[horn];
        if (!h.PollWanted && !h.RunningPoll) {
            h.PollWanted = true;
            List(horn, false);
        }
        when += step_;
        // After a long pause (a suspended machine) the schedule starts afresh from now.
        if (when < now) when = now + step_;
        due_.emplace(when, horn);
    }
}

bool THornRunner::Busy() const {
    if (running_ > 0) return true;
    return std::any_of(horns_.begin(), horns_.end(),
                       [](const THorn& h) { return h.CommandsWanted || h.PollWanted; });
}

void THornRunner::WaitIdle() {
    std::unique_lock lock(m_);
    idleCv_.wait(lock, [this] { return stopping_ || !Busy(); });
}

void THornRunner::StartPolling(std::chrono::milliseconds period) {
    const std::lock_guard lock(m_);
    if (stopping_ || polling_ || horns_.empty()) return;
    const auto count = static_cast<long long>(horns_.size());
    step_ = std::max<TClock::duration>(period, std::chrono::milliseconds(1));
    const auto start = TClock::now();
    for (long long i = 0; i < count; ++i)
        due_.emplace(start + step_ * i / count, static_cast<std::size_t>(i));
    polling_ = true;
    workCv_.notify_one();
}

void THornRunner::Stop() {
    {
        const std::lock_guard lock(m_);
        if (stopping_ && threads_.empty()) return;
        stopping_ = true;
        for (auto& h : horns_) {
            h.CommandsWanted = false;
            h.PollWanted = false;
        }
    }
    workCv_.notify_all();
    idleCv_.notify_all();
    for (auto& t : threads_)
        if (t.joinable()) t.join();
    const std::lock_guard lock(m_);
    threads_.clear();
}

}  // namespace kstbell::site
