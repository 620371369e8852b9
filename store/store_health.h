#pragma once

// What the store has found wrong with its database while the service runs: a damaged file
// (kept until the next start, since SQLite does not repair it), reads that fail and writes
// that fail (each until the next one of its kind succeeds), and a disk with no room left.
// The first failure of each kind is told once to the log given, and so is its end.

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kstbell::store {

// Below this many free bytes the disk of the state folder counts as full: SQLite needs room
// for a few pages of the log and a checkpoint.
inline constexpr std::uint64_t kFullDiskBytes = 1024 * 1024;

class TStoreHealth {
  public:
    using TLog = std::function<void(const std::string&)>;

    explicit TStoreHealth(std::filesystem::path folder) : folder_(std::move(folder)) {}

    void SetLog(TLog log);

    // What a connection's statement ended with: code is SQLite's (extended) result code.
    void Failed(bool writing, int code, const std::string& message);
    void Succeeded(bool writing);

    // One sentence per problem, empty when there is none; the disk is looked at each time.
    std::vector<std::string> Problems() const;

  private:
    struct TProblem {
        bool Present = false;
        std::string Message;
    };
    void Note(TProblem& problem, const std::string& message);
    void Clear(TProblem& problem, const char* recovered);

    std::filesystem::path folder_;
    mutable std::mutex m_;
    TLog log_;
    TProblem damaged_;
    TProblem reading_;
    TProblem writing_;
};

// Whether an SQLite result code says something about the database file or its disk (damage,
// input/output, room, permissions), rather than about one statement (a broken constraint, a
// lock held for too long).
bool IsStoreFault(int code);

}  // namespace kstbell::store
