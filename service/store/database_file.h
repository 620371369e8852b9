#pragma once

// The database file on the disk: how a connection to it is set up, and how a new one comes
// into being.

#include <filesystem>

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

// Creates the folder (0700) when missing and, when the file is missing or empty, a new
// database of the current version. It is set up under a temporary name (0600) and linked into
// place whole, so the file under its real name is always a complete database of ours in
// write-ahead mode: a process killed meanwhile leaves only a temporary file, which a later
// call removes. SQLite gives the -wal and -shm files the database's mode, so nothing of the
// log is readable by others. Throws TStoreError(CannotOpen).
void CreateIfMissing(const std::filesystem::path& file);

}  // namespace kstbell::store
