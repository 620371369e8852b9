#include "site/horn_runner.h"

#include <algorithm>
#include <queue>
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

void THornRunner::List(std::size_t horn) {
    THorn& h = horns_[horn];
    if (h.Running) return;  // listed again when its running work ends
    if (h.CommandsWanted)
        (h.Slow ? commandsSlow_ : commandsFast_).push_back(horn);
    else if (h.PollWanted)
        (h.Slow ? pollsSlow_ : pollsFast_).push_back(horn);
    else
        return;
    workCv_.notify_one();
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
        std::size_t horn = 0;
        TLane lane = TLane::Poll;
        bool slow = false;
        workCv_.wait(lock, [&] { return stopping_ || Take(horn, lane, slow); });
        if (stopping_) return;
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
        if (lane == TLane::Commands)
            handlers_.Commands(horn);
        else
            handlers_.Poll(horn);
        lock.lock();
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
    if (stopping_ || clock_.joinable() || horns_.empty()) return;
    clock_ = std::thread([this, period] { PollClock(period); });
}

void THornRunner::PollClock(std::chrono::milliseconds period) {
    using TClock = std::chrono::steady_clock;
    using TDue = std::pair<TClock::time_point, std::size_t>;
    const auto count = static_cast<long long>(horns_.size());
    const auto step = std::max<TClock::duration>(period, std::chrono::milliseconds(1));
    std::priority_queue<TDue, std::vector<TDue>, std::greater<>> due;
    const auto start = TClock::now();
    for (long long i = 0; i < count; ++i)
        due.emplace(start + step * i / count, static_cast<std::size_t>(i));
    std::unique_lock lock(m_);
    while (!stopping_) {
        const auto next = due.top().first;
        if (clockCv_.wait_until(lock, next, [this] { return stopping_; })) return;
        const auto now = TClock::now();
        while (!due.empty() && due.top().first <= now) {
            auto [when, horn] = due.top();
            due.pop();
            THorn& h = horns_[horn];
            if (!h.PollWanted && !h.RunningPoll) {
                h.PollWanted = true;
                List(horn);
            }
            when += step;
            // After a long pause (a suspended machine) the schedule starts afresh from now.
            if (when < now) when = now + step;
            due.emplace(when, horn);
        }
    }
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
    clockCv_.notify_all();
    idleCv_.notify_all();
    if (clock_.joinable()) clock_.join();
    for (auto& t : threads_)
        if (t.joinable()) t.join();
    const std::lock_guard lock(m_);
    threads_.clear();
}

}  // namespace kstbell::site
