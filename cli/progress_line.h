#pragma once

// A progress line on a terminal: bytes sent of all, the rate and the time left, redrawn in
// place a few times a second while a transfer runs.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

namespace kstbell::cli {

class TProgressLine {
  public:
    // Draws only when enabled; total is the number of bytes of the whole transfer.
    TProgressLine(std::ostream& err, bool enabled, std::string label, std::uint64_t total);
    ~TProgressLine();  // ends the line unless End did
    // Draws the last state and ends the line; later calls do nothing.
    void End();
    TProgressLine(const TProgressLine&) = delete;
    TProgressLine& operator=(const TProgressLine&) = delete;

    // Counts bytes sent; any thread.
    void Add(std::uint64_t bytes) { sent_ += bytes; }

    // The line for sent bytes of total after seconds: "label: 1.2 MiB of 2.0 MiB, 640 KiB/s,
    // 1 s left".
    static std::string Text(const std::string& label, std::uint64_t sent, std::uint64_t total,
                            double seconds);

  private:
    void Draw();

    std::ostream& err_;
    const bool enabled_;
    const std::string label_;
    const std::uint64_t total_;
    std::atomic<std::uint64_t> sent_{0};
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::once_flag ended_;
    std::thread drawer_;
};

}  // namespace kstbell::cli
