#pragma once

// The SQL statement for an audit log query, with its parameters in the order they are bound.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "store/audit_query.h"

namespace kstbell::store {

struct TAuditSql {
    std::string Text;
    std::vector<std::variant<std::int64_t, std::string>> Parameters;
};

// The entries' columns (id, at_ms, kind, cause, actor, horn_address, horn_id, group_name,
// alarm, tone, duration_ms, ring_id, detail) for query, at most limit rows after its offset.
TAuditSql AuditSql(const TAuditQuery& query, int limit);

}  // namespace kstbell::store
