#pragma once

// What a reader asks of the audit log, and the page it gets back. Pages are read with a cursor
// (the last entry of the previous page), which stays correct while entries are appended and
// pruned; an offset is there for readers that count pages.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/audit_entry.h"
#include "store/utc_time.h"

namespace kstbell::store {

enum class TAuditOrder { NewestFirst, OldestFirst };

// An entry's place in the log's order: entries are ordered by time, and entries of the same
// millisecond by the order they were appended in.
struct TAuditCursor {
    TUtcTime At{};
    std::int64_t Id = 0;

    bool operator==(const TAuditCursor&) const = default;
};

inline constexpr int kDefaultAuditLimit = 100;
inline constexpr int kMaxAuditLimit = 10000;

struct TAuditQuery {
    std::optional<TUtcTime> Since{};  // entries at or after
    std::optional<TUtcTime> Until{};  // entries before
    std::string Horn{};               // the horn's address or identity; empty: every horn
    std::vector<TAuditKind> Kinds{};  // any of these; empty: every kind
    std::vector<TAuditCause> Causes{};
    TAuditOrder Order = TAuditOrder::NewestFirst;
    int Limit = kDefaultAuditLimit;       // at most this many entries (1 up to kMaxAuditLimit)
    std::optional<TAuditCursor> After{};  // entries that follow this one in the query's order
    int Offset = 0;                       // entries to skip (after the cursor, if any)
};

struct TAuditPage {
    std::vector<TAuditEntry> Entries{};
    // Where the next page starts; nothing when this page holds the last matching entry.
    std::optional<TAuditCursor> Next{};
};

}  // namespace kstbell::store
