#pragma once

// Writes the audit log and the lines for people from a thread of its own, so that whoever
// reports an event (the site's threads, under their locks) only queues it and never waits for
// the disk or the journal. Entries waiting together are appended in one transaction. Once a
// day, and at the start, entries older than the log's length are pruned.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <variant>

#include "service/log_sink.h"
#include "store/store.h"

namespace kstbell::service {

class TAuditWriter {
  public:
    // Beyond this many waiting items, new ones are counted and dropped (a disk that hangs must
    // not eat the memory); the count is reported once writing goes on.
    static constexpr std::size_t kMaxWaiting = 100000;

    TAuditWriter(store::TStore& store, std::chrono::days logDays, TLog log);
    ~TAuditWriter();
    TAuditWriter(const TAuditWriter&) = delete;
    TAuditWriter& operator=(const TAuditWriter&) = delete;

    void Start();
    // Writes what waits, then ends the thread. Idempotent.
    void Stop();

    void Append(store::TAuditEntry entry);
    void Line(std::string line);
    // Returns once everything queued before the call is written.
    void Flush();

    // Entries that could not be written (the database failed) or were dropped, since the
    // start. A failure is told to the log once, and again when writing goes on.
    std::uint64_t Lost() const { return lost_; }

  private:
    using TItem = std::variant<store::TAuditEntry, std::string>;
    void Run();
    void Write(std::deque<TItem>& batch);
    void Prune();

    store::TStore& store_;
    std::chrono::days logDays_;
    TLog log_;
    std::mutex m_;
    std::condition_variable wake_;
    std::condition_variable written_;
    std::deque<TItem> waiting_;
    std::size_t dropped_ = 0;
    std::atomic<std::uint64_t> lost_{0};
    std::size_t failing_ = 0;   // entries lost since the last write that succeeded (its thread's)
    std::uint64_t queued_ = 0;  // items queued so far
    std::uint64_t done_ = 0;    // items written (or dropped) so far
    bool stopping_ = false;
    bool finished_ = false;  // the thread has written its last batch
    std::thread thread_;
};

}  // namespace kstbell::service
