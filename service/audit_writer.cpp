#include "service/audit_writer.h"

#include <utility>
#include <vector>

#include "store/store_error.h"

namespace kstbell::service {

namespace {

constexpr auto kPruneEvery = std::chrono::hours(24);

}  // namespace

TAuditWriter::TAuditWriter(store::TStore& store, std::chrono::days logDays, TLog log)
    : store_(store), logDays_(logDays), log_(std::move(log)) {}

TAuditWriter::~TAuditWriter() {
    Stop();
}

void TAuditWriter::Start() {
    const std::lock_guard lock(m_);
    if (thread_.joinable() || stopping_) return;
    thread_ = std::thread([this] { Run(); });
}

void TAuditWriter::Stop() {
    {
        const std::lock_guard lock(m_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void TAuditWriter::Append(store::TAuditEntry entry) {
    {
        const std::lock_guard lock(m_);
        ++queued_;
        if (waiting_.size() >= kMaxWaiting) {
            ++dropped_;
            ++done_;
            ++lost_;
            return;
        }
        waiting_.emplace_back(std::move(entry));
    }
    wake_.notify_one();
}

void TAuditWriter::Line(std::string line) {
    {
        const std::lock_guard lock(m_);
        ++queued_;
        if (waiting_.size() >= kMaxWaiting) {
            ++done_;
            return;
        }
        waiting_.emplace_back(std::move(line));
    }
    wake_.notify_one();
}

void TAuditWriter::Flush() {
    std::unique_lock lock(m_);
    const std::uint64_t target = queued_;
    if (!thread_.joinable()) return;
    written_.wait(lock, [&] { return done_ >= target || finished_; });
}

void TAuditWriter::Write(std::deque<TItem>& batch) {
    std::vector<store::TAuditEntry> entries;
    for (auto& item : batch) {
        if (auto* line = std::get_if<std::string>(&item)) {
            if (log_) log_(*line);
        } else {
            entries.push_back(std::move(std::get<store::TAuditEntry>(item)));
        }
    }
    if (entries.empty()) return;
    try {
        if (entries.size() == 1)
            store_.Log().Append(entries.front());
        else
            store_.Log().AppendAll(entries);
        if (failing_ != 0 && log_) {
            log_("the audit log is written again; " + std::to_string(failing_) +
                 " entries were lost meanwhile");
        }
        failing_ = 0;
    } catch (const store::TStoreError& e) {
        lost_ += entries.size();
        // Told once while the failure lasts: every ring and bell would repeat it.
        if (failing_ == 0 && log_)
            log_(std::to_string(entries.size()) +
                 " audit entries could not be written and are lost (kstbell_audit_lost_total "
                 "counts them): " +
                 std::string(e.what()));
        failing_ += entries.size();
    }
}

void TAuditWriter::Prune() {
    try {
        const auto now =
            std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
        const store::TPruneResult pruned = store_.Prune(now, logDays_);
        if (log_ && (pruned.Entries || pruned.Rings))
            log_("pruned " + std::to_string(pruned.Entries) + " audit entries older than " +
                 std::to_string(logDays_.count()) + " days and " + std::to_string(pruned.Rings) +
                 " finished ring records");
    } catch (const store::TStoreError& e) {
        if (log_) log_("the audit log could not be pruned: " + std::string(e.what()));
    }
}

void TAuditWriter::Run() {
    auto nextPrune = std::chrono::steady_clock::now();
    std::unique_lock lock(m_);
    for (;;) {
        wake_.wait_until(lock, nextPrune, [this] { return stopping_ || !waiting_.empty(); });
        std::deque<TItem> batch;
        batch.swap(waiting_);
        const std::size_t dropped = std::exchange(dropped_, 0);
        const bool stopping = stopping_;
        lock.unlock();
        if (dropped && log_)
            log_(std::to_string(dropped) + " audit entries were dropped: the log fell behind");
        const std::size_t count = batch.size();
        Write(batch);
        if (!stopping && std::chrono::steady_clock::now() >= nextPrune) {
            Prune();
            nextPrune = std::chrono::steady_clock::now() + kPruneEvery;
        }
        lock.lock();
        done_ += count;
        written_.notify_all();
        if (stopping && waiting_.empty()) {
            finished_ = true;
            written_.notify_all();
            return;
        }
    }
}

}  // namespace kstbell::service
