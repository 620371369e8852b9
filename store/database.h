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
#include <type_traits>

#include "store/state_folder.h"
#include "store/store_health.h"

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
    // Throws TStoreError: CannotOpen, NotOurs, TooNew, Damaged (ReadWrite: PRAGMA quick_check
    // at the start), TooOld (ReadOnly only). owner: who may open a folder for writing.
    TDatabase(const std::filesystem::path& file, TOpenMode mode,
              TFolderOwner owner = TFolderOwner::Mine);
    ~TDatabase();

    const std::filesystem::path& File() const { return file_; }

    // Runs body(connection) under the writer's lock. Throws TStoreError(Failed) when opened
    // for reading only.
    template <typename TBody>
    auto Write(TBody&& body) {
        std::lock_guard lock(writeMutex_);
        return Watched(true, [&] { return body(Writer()); });
    }

    // As Write, and every transaction that body commits is on the disk when it returns (the
    // log is flushed), not only safe from the process being killed.
    template <typename TBody>
    auto WriteDurably(TBody&& body) {
        std::lock_guard lock(writeMutex_);
        TDurable durable(Writer());
        return Watched(true, [&] { return body(Writer()); });
    }

    template <typename TBody>
    auto Read(TBody&& body) {
        std::lock_guard lock(readMutex_);
        return Watched(false, [&] { return body(*reader_); });
    }

    // What has gone wrong with the file since it was opened.
    TStoreHealth& Health() { return health_; }

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

    // Runs call and tells the health how SQLite's part of it went.
    template <typename TCall>
    auto Watched(bool writing, TCall&& call) -> decltype(call()) {
        try {
            if constexpr (std::is_void_v<decltype(call())>) {
                call();
                health_.Succeeded(writing);
            } else {
                auto result = call();
                health_.Succeeded(writing);
                return result;
            }
        } catch (const SQLite::Exception& failure) {
            health_.Failed(writing, failure.getExtendedErrorCode(),
                           file_.string() + ": " + failure.what());
            throw;
        }
    }

    std::filesystem::path file_;
    TStoreHealth health_;
    std::mutex writeMutex_;
    std::unique_ptr<SQLite::Database> writer_;  // none when opened for reading only
    std::mutex readMutex_;
    std::unique_ptr<SQLite::Database> reader_;
};

}  // namespace kstbell::store
