// The site service's database, each beside a baseline of plain SQLite calls in the same run:
// appending an audit entry (the store prepares its statement on every call and cleans every
// text; the baseline binds a statement prepared once), recording a ring of 500 horns flushed
// to the disk (what stands between a scheduled instant and the first relay), a page of the
// log out of a million entries for the usual questions, and how long an append waits while a
// large prune runs. The files live in $TMPDIR (default /tmp).

#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "store/store.h"

namespace kstbell::bench {
namespace {

using namespace kstbell::store;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const TUtcTime kStart = FromUnixMs(1'767'225'600'000);  // 2026-01-01T00:00:00Z

class TBenchDir {
  public:
    TBenchDir() {
        std::string pattern = (fs::temp_directory_path() / "kstbell-store-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TBenchDir() { fs::remove_all(path_); }
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

TAuditEntry BellEntry(long long i) {
    TAuditEntry entry;
    entry.At = kStart + std::chrono::milliseconds(i * 31'536);  // a million over a year
    entry.Kind = i % 50 == 0 ? TAuditKind::BellMissed : TAuditKind::BellFired;
    entry.Cause = i % 10 == 0 ? TAuditCause::Mqtt : TAuditCause::Schedule;
    entry.HornAddress = "10.0." + std::to_string(i % 500 / 250) + "." + std::to_string(i % 250);
    entry.Group = "Hall";
    entry.Tone = 1;
    entry.Duration = std::chrono::seconds(5);
    entry.Detail = "bell 08:00";
    return entry;
}

void Check(int result, sqlite3* db) {
    if (result != SQLITE_OK && result != SQLITE_DONE && result != SQLITE_ROW) {
        throw std::runtime_error(sqlite3_errmsg(db));
    }
}

// A plain connection to a database the store created, set up as the store sets up its own.
struct TRaw {
    explicit TRaw(const fs::path& file) {
        Check(sqlite3_open_v2(file.c_str(), &Db, SQLITE_OPEN_READWRITE, nullptr), Db);
        Check(sqlite3_exec(Db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr,
                           nullptr, nullptr),
              Db);
    }
    ~TRaw() { sqlite3_close_v2(Db); }
    void Exec(const char* sql) { Check(sqlite3_exec(Db, sql, nullptr, nullptr, nullptr), Db); }
    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        Check(sqlite3_prepare_v2(Db, sql, -1, &statement, nullptr), Db);
        return statement;
    }
    sqlite3* Db = nullptr;
};

void BM_AppendEntry(benchmark::State& state) {
    TBenchDir dir;
    TStore store(dir.Path());
    long long i = 0;
    for (auto _ : state)
        store.Log().Append(BellEntry(i++));
}
BENCHMARK(BM_AppendEntry)->Unit(benchmark::kMicrosecond);

void BM_AppendEntryRawBaseline(benchmark::State& state) {
    TBenchDir dir;
    { TStore create(dir.Path()); }
    TRaw raw(DatabasePath(dir.Path()));
    sqlite3_stmt* insert = raw.Prepare(
        "INSERT INTO audit_log (at_ms, kind, cause, actor, horn_address, horn_id, group_name, "
        "alarm, tone, duration_ms, ring_id, detail) VALUES (?, ?, ?, '', ?, '', ?, '', ?, ?, "
        "NULL, ?)");
    long long i = 0;
    for (auto _ : state) {
        const TAuditEntry entry = BellEntry(i++);
        sqlite3_bind_int64(insert, 1, ToUnixMs(entry.At));
        sqlite3_bind_text(insert, 2, "bell_fired", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, "schedule", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 4, entry.HornAddress.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 5, entry.Group.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 6, *entry.Tone);
        sqlite3_bind_int64(insert, 7, entry.Duration->count());
        sqlite3_bind_text(insert, 8, entry.Detail.c_str(), -1, SQLITE_TRANSIENT);
        Check(sqlite3_step(insert), raw.Db);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
}
BENCHMARK(BM_AppendEntryRawBaseline)->Unit(benchmark::kMicrosecond);

TRingRecord Ring500(long long i) {
    TRingRecord ring;
    for (int h = 0; h < 500; ++h) {
        ring.Horns.push_back(
            {"10.0." + std::to_string(h / 250) + "." + std::to_string(h % 250), "", {}});
    }
    ring.Start = kStart + std::chrono::minutes(i);
    ring.End = ring.Start + std::chrono::seconds(5);
    ring.Cause = TAuditCause::Schedule;
    ring.Group = "all";
    return ring;
}

void BM_RecordRing500Horns(benchmark::State& state) {
    TBenchDir dir;
    TStore store(dir.Path());
    long long i = 0;
    std::vector<TRingRecord> rings;
    for (int r = 0; r < 64; ++r)
        rings.push_back(Ring500(r));
    double longest = 0;
    for (auto _ : state) {
        const auto begin = Clock::now();
        store.Rings().Record(rings[i++ % rings.size()]);
        longest = std::max(longest,
                           std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    }
    state.counters["max_ms"] = longest;
}
BENCHMARK(BM_RecordRing500Horns)->Unit(benchmark::kMillisecond);

void BM_RecordRing500HornsRawBaseline(benchmark::State& state) {
    TBenchDir dir;
    { TStore create(dir.Path()); }
    TRaw raw(DatabasePath(dir.Path()));
    raw.Exec("PRAGMA synchronous=FULL");
    sqlite3_stmt* ring = raw.Prepare(
        "INSERT INTO rings (tone, priority, start_ms, end_ms, cause, group_name) VALUES (0, 0, "
        "?, ?, 'schedule', 'all')");
    sqlite3_stmt* horn =
        raw.Prepare("INSERT INTO ring_horns (ring_id, horn_address, horn_id) VALUES (?, ?, '')");
    const TRingRecord record = Ring500(0);
    double longest = 0;
    for (auto _ : state) {
        const auto begin = Clock::now();
        raw.Exec("BEGIN");
        sqlite3_bind_int64(ring, 1, ToUnixMs(record.Start));
        sqlite3_bind_int64(ring, 2, ToUnixMs(record.End));
        Check(sqlite3_step(ring), raw.Db);
        sqlite3_reset(ring);
        const sqlite3_int64 id = sqlite3_last_insert_rowid(raw.Db);
        for (const TRingHorn& each : record.Horns) {
            sqlite3_bind_int64(horn, 1, id);
            sqlite3_bind_text(horn, 2, each.Address.c_str(), -1, SQLITE_STATIC);
            Check(sqlite3_step(horn), raw.Db);
            sqlite3_reset(horn);
        }
        raw.Exec("COMMIT");
        longest = std::max(longest,
                           std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    }
    state.counters["max_ms"] = longest;
    sqlite3_finalize(ring);
    sqlite3_finalize(horn);
}
BENCHMARK(BM_RecordRing500HornsRawBaseline)->Unit(benchmark::kMillisecond);

// A year of a busy site's log: a million entries over 500 horns, built once.
struct TBigLog {
    static constexpr long long kEntries = 1'000'000;
    TBigLog() : store(dir.Path()) {
        std::vector<TAuditEntry> batch;
        for (long long i = 0; i < kEntries; ++i) {
            batch.push_back(BellEntry(i));
            if (batch.size() == 10'000) {
                store.Log().AppendAll(batch);
                batch.clear();
            }
        }
        BytesPerEntry = double(fs::file_size(store.File())) / kEntries;
    }
    TBenchDir dir;
    TStore store;
    double BytesPerEntry = 0;
};

TBigLog& BigLog() {
    static TBigLog log;
    return log;
}

// 0: the newest page; 1: one horn's newest page; 2: missed bells of one day, oldest first;
// 3: the 1,000th page, by cursor.
void BM_QueryPageOfAMillion(benchmark::State& state) {
    TBigLog& log = BigLog();
    TAuditQuery query;
    switch (state.range(0)) {
        case 1:
            query.Horn = "10.0.1.17";
            break;
        case 2:
            query.Since = kStart + std::chrono::days(200);
            query.Until = *query.Since + std::chrono::days(1);
            query.Kinds = {TAuditKind::BellMissed};
            query.Order = TAuditOrder::OldestFirst;
            break;
        case 3:
            query.After = TAuditCursor{BellEntry(TBigLog::kEntries - 100'000).At,
                                       TBigLog::kEntries - 100'000 + 1};
            break;
        default:
            break;
    }
    std::size_t rows = 0;
    for (auto _ : state)
        rows = log.store.Log().Query(query).Entries.size();
    state.counters["rows"] = double(rows);
    state.counters["bytes_per_entry"] = log.BytesPerEntry;
}
BENCHMARK(BM_QueryPageOfAMillion)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// Pruning 300,000 entries while another thread appends one entry every 2 ms: how long the
// prune takes and how long an append waited. The baseline (argument 0) appends the same way
// for 5 s with no prune running.
void BM_AppendWhilePruning(benchmark::State& state) {
    const bool prune = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        TBenchDir dir;
        TStore store(dir.Path());
        std::vector<TAuditEntry> batch;
        for (long long i = 0; i < 300'000; ++i) {
            batch.push_back(BellEntry(i));
            if (batch.size() == 10'000) {
                store.Log().AppendAll(batch);
                batch.clear();
            }
        }
        std::atomic<bool> pruning{true};
        std::vector<double> waits;
        std::thread appender([&] {
            for (long long i = 0; pruning; ++i) {
                const auto begin = Clock::now();
                store.Log().Append(BellEntry(400'000 + i));
                waits.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        state.ResumeTiming();
        std::int64_t removed = 0;
        if (prune) {
            removed = store.Log().PruneBefore(BellEntry(300'000).At);
        } else {
            std::this_thread::sleep_for(std::chrono::seconds(5));
        }
        state.PauseTiming();
        pruning = false;
        appender.join();
        std::sort(waits.begin(), waits.end());
        state.counters["removed"] = double(removed);
        state.counters["appends"] = double(waits.size());
        state.counters["append_max_ms"] = waits.empty() ? 0 : waits.back();
        state.counters["append_p99_ms"] = waits.empty() ? 0 : waits[waits.size() * 99 / 100];
        state.counters["append_median_ms"] = waits.empty() ? 0 : waits[waits.size() / 2];
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AppendWhilePruning)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kstbell::bench
