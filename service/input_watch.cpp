#include "service/input_watch.h"

#include <algorithm>

namespace kstbell::service {

namespace {

std::vector<bool> Ruled(const std::vector<std::optional<alarms::TInputRule>>& rules) {
    std::vector<bool> ruled(rules.size());
    for (std::size_t i = 0; i < rules.size(); ++i)
        ruled[i] = rules[i].has_value();
    return ruled;
}

}  // namespace

TInputWatch::TInputWatch(std::vector<std::optional<alarms::TInputRule>> rules, TStart start)
    : ruled_(Ruled(rules)),
      wanted_(std::find(ruled_.begin(), ruled_.end(), true) != ruled_.end()),
      triggers_(std::move(rules)),
      start_(std::move(start)) {}

TInputWatch::~TInputWatch() {
    Stop();
}

void TInputWatch::Start() {
    const std::lock_guard lock(m_);
    if (!wanted_ || thread_.joinable() || stopping_) return;
    thread_ = std::thread([this] { Run(); });
}

void TInputWatch::Stop() {
    {
        const std::lock_guard lock(m_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void TInputWatch::Reading(std::size_t horn, bool input, site::TInstant when) {
    if (horn >= ruled_.size() || !ruled_[horn]) return;
    {
        const std::lock_guard lock(m_);
        notes_.push_back({horn, input, false, when});
    }
    wake_.notify_one();
}

void TInputWatch::Lost(std::size_t horn) {
    if (horn >= ruled_.size() || !ruled_[horn]) return;
    {
        const std::lock_guard lock(m_);
        notes_.push_back({horn, false, true, {}});
    }
    wake_.notify_one();
}

void TInputWatch::Run() {
    std::unique_lock lock(m_);
    for (;;) {
        const auto deadline = triggers_.NextDeadline();
        const auto ready = [this] { return stopping_ || !notes_.empty(); };
        if (deadline)
            wake_.wait_until(lock, *deadline, ready);
        else
            wake_.wait(lock, ready);
        if (stopping_) return;
        std::deque<TNote> notes;
        notes.swap(notes_);
        lock.unlock();
        std::vector<std::pair<std::size_t, std::string>> starts;
        for (const auto& note : notes) {
            if (note.Lost) {
                triggers_.Lost(note.Horn);
            } else if (auto alarm = triggers_.Observed(note.Horn, note.Input, note.When)) {
                starts.emplace_back(note.Horn, *alarm);
            }
        }
        for (auto& due : triggers_.Due(std::chrono::system_clock::now()))
            starts.push_back(std::move(due));
        for (const auto& [horn, alarm] : starts)
            start_(horn, alarm);
        lock.lock();
    }
}

}  // namespace kstbell::service
