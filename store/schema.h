#pragma once

// The database's tables, one migration step per schema version. A file is ours when its
// application id is ours; a file with no id, no version and no tables is a new file that we
// may set up. Every other file is refused and never written to.

#include <cstdint>

namespace SQLite {
class Database;
}

namespace kstbell::store {

inline constexpr int kSchemaVersion = 5;
inline constexpr std::int32_t kApplicationId = 0x6B737462;

// The file's schema version: 0 for a new file. Throws TStoreError(NotOurs) for a database of
// another program and TStoreError(TooNew) for one written by a newer version of this one.
int ReadSchemaVersion(SQLite::Database& db, const char* file);

// Brings the database up to target one version at a time, each step in a transaction of its
// own that also records the new version, so that an interruption leaves a whole version.
// Checks the file again inside each transaction, so that two programs opening the same new
// file at once set it up once.
void Migrate(SQLite::Database& db, const char* file, int target = kSchemaVersion);

}  // namespace kstbell::store
