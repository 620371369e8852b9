#pragma once

// The insert behind the audit log's Append, for the store's own tables whose changes are
// logged in the same transaction as the change itself (a user added and its entry commit
// together, or neither does).

#include <cstdint>

#include "store/audit_entry.h"

namespace SQLite {
class Database;
}

namespace kstbell::store {

// Inserts the entry (its Id is not used) through connection, its texts cleaned, and returns
// the id it was given. Throws what SQLiteCpp throws.
std::int64_t InsertAuditEntry(SQLite::Database& connection, const TAuditEntry& entry);

}  // namespace kstbell::store
