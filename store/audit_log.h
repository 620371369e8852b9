#pragma once

// The audit log: every ring, alarm, stop, bell fired or missed, horn online or offline and
// configuration loaded, appended as it happens and read back a page at a time.

#include <cstdint>
#include <span>

#include "store/audit_entry.h"
#include "store/audit_query.h"

namespace kstbell::store {

class TDatabase;

class TAuditLog {
  public:
    explicit TAuditLog(TDatabase& db) : db_(db) {}

    // Appends the entry (its Id is not used) and returns the id it was given. The entry is
    // committed when this returns: a process killed afterwards does not lose it. Texts are
    // cleaned (see clean_text.h). Throws TStoreError.
    std::int64_t Append(const TAuditEntry& entry);

    // Appends every entry in one transaction (a burst of horns going offline): all or none.
    void AppendAll(std::span<const TAuditEntry> entries);

    // The matching entries of one page, in the query's order. Throws TStoreError.
    TAuditPage Query(const TAuditQuery& query) const;

    // Removes the entries from before cutoff, oldest first, in small transactions so that
    // appends go on in between; returns how many. Throws TStoreError.
    std::int64_t PruneBefore(TUtcTime cutoff);

  private:
    TDatabase& db_;
};

}  // namespace kstbell::store
