#pragma once

// The database file on the disk: how a connection to it is set up, and how a new one comes
// into being.

#include <filesystem>

#include "store/state_folder.h"

namespace SQLite {
class Database;
}

namespace kstbell::store {

// Long enough for kstbellctl's reads and a checkpoint to finish; the database is a local file,
// so nothing here ever waits on the network.
inline constexpr int kBusyTimeoutMs = 5000;

// Write-ahead logging, synchronisation that survives a killed process, foreign keys, a cap
// on the log's size after a checkpoint. Throws TStoreError(CannotOpen) where write-ahead
// logging is not available.
void SetUpConnection(SQLite::Database& db, const std::filesystem::path& file);

// Makes the folder ready (state_folder.h: created 0700 when missing, refused when it is not the
// service's own) and the file: an existing one must be a regular file (never a link, a FIFO or
// a device, which are refused before anything opens them) with a log and index beside it that
// are plain writable files; an empty one is refused when the folder held a database before
// (a marker beside it says so) or its log is not empty. When the file is missing or empty and
// new, a new database of the current version is set up under a temporary name (0600) and
// linked into place whole, so the file under its real name is always a complete database of
// ours in write-ahead mode: a process killed meanwhile leaves only a temporary file, which a
// later call removes. SQLite gives the -wal and -shm files the database's mode, so nothing of
// the log is readable by others. Throws TStoreError(CannotOpen).
void PrepareFile(const std::filesystem::path& file, TFolderOwner owner);

}  // namespace kstbell::store
