#pragma once

// The database file and its connections. Writes go through one connection and reads through
// another, each behind its own lock: the service calls in from several threads, and a long
// read (a page of the log for a front) never holds up a ring being recorded. With write-ahead
// logging a reader sees every transaction committed before its statement started.

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <mutex>

namespace kstbell::store {

enum class TOpenMode {
    // Creates the folder (0700) and the file (0600) when missing, sets a new file up and
    // brings an older one up to date.
    ReadWrite,
    // Opens an existing, up-to-date file for reading only (kstbellctl beside a running
    // service); refuses a new, older or newer one.
    ReadOnly,
};

class TDatabase {
  public:
    // Throws TStoreError: CannotOpen, NotOurs, TooNew, TooOld (ReadOnly only).
    TDatabase(const std::filesystem::path& file, TOpenMode mode);
    ~TDatabase();

    const std::filesystem::path& File() const { return file_; }

    // Runs body(connection) under the writer's lock. Throws TStoreError(Failed) when opened
    // for reading only.
    template <typename TBody>
    auto Write(TBody&& body) {
        std::lock_guard lock(writeMutex_);
        return body(Writer());
    }

    // As Write, and every transaction that body commits is on the disk when it returns (the
    // log is flushed), not only safe from the process being killed.
    template <typename TBody>
    auto WriteDurably(TBody&& body) {
        std::lock_guard lock(writeMutex_);
        TDurable durable(Writer());
        return body(Writer());
    }

    template <typename TBody>
    auto Read(TBody&& body) {
        std::lock_guard lock(readMutex_);
        return body(*reader_);
    }

  private:
    // Switches the writer to full synchronisation for its lifetime.
    class TDurable {
      public:
        explicit TDurable(SQLite::Database& db);
        ~TDurable();
        TDurable(const TDurable&) = delete;
        TDurable& operator=(const TDurable&) = delete;

      private:
        SQLite::Database& db_;
    };

    SQLite::Database& Writer();

    std::filesystem::path file_;
    std::mutex writeMutex_;
    std::unique_ptr<SQLite::Database> writer_;  // none when opened for reading only
    std::mutex readMutex_;
    std::unique_ptr<SQLite::Database> reader_;
};

}  // namespace kstbell::store
