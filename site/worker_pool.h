#pragma once

// Worker threads that stay for many rounds of jobs: a verb that works on the same devices
// again and again (watch) pays for its threads once, not every round.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kstbell::site {

class TWorkerPool {
  public:
    explicit TWorkerPool(std::size_t workers);
    ~TWorkerPool();
    TWorkerPool(const TWorkerPool&) = delete;
    TWorkerPool& operator=(const TWorkerPool&) = delete;

    // Runs job(0) to job(count - 1), each once, on the workers; returns when all are done. One
    // round at a time.
    void Run(std::size_t count, const std::function<void(std::size_t)>& job);

  private:
    void Work();

    std::mutex mutex_;
    std::condition_variable start_;
    std::condition_variable finished_;
    const std::function<void(std::size_t)>* job_ = nullptr;
    std::size_t count_ = 0;
    std::size_t next_ = 0;
    std::size_t running_ = 0;
    std::size_t round_ = 0;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace kstbell::site
