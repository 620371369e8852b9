#include "site/worker_pool.h"

#include <algorithm>

namespace kstbell::site {

TWorkerPool::TWorkerPool(std::size_t workers) {
    threads_.reserve(std::max<std::size_t>(workers, 1));
    for (std::size_t i = 0; i < std::max<std::size_t>(workers, 1); ++i)
        threads_.emplace_back([this] { Work(); });
}

TWorkerPool::~TWorkerPool() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    start_.notify_all();
    for (auto& t : threads_)
        t.join();
}

void TWorkerPool::Run(std::size_t count, const std::function<void(std::size_t)>& job) {
    std::unique_lock lock(mutex_);
    job_ = &job;
    count_ = count;
    next_ = 0;
    ++round_;
    start_.notify_all();
    finished_.wait(lock, [this] { return next_ >= count_ && running_ == 0; });
    job_ = nullptr;
}

void TWorkerPool::Work() {
    std::size_t seenRound = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        start_.wait(lock, [&] { return closing_ || (round_ != seenRound && next_ < count_); });
        if (closing_) return;
        seenRound = round_;
        while (next_ < count_) {
            const std::size_t i = next_++;
            ++running_;
            const auto* job = job_;
            lock.unlock();
            (*job)(i);
            lock.lock();
            --running_;
        }
        if (running_ == 0) finished_.notify_all();
    }
}

}  // namespace kstbell::site
