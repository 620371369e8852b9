#include "store/audit_insert.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <optional>
#include <string>

#include "store/clean_text.h"

namespace kstbell::store {

namespace {

constexpr const char* kInsert =
    "INSERT INTO audit_log (at_ms, kind, cause, actor, horn_address, horn_id, group_name, "
    "alarm, tone, duration_ms, ring_id, detail) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

template <typename T>
void BindOptional(SQLite::Statement& statement, int index, const std::optional<T>& value) {
    if (value) {
        statement.bind(index, static_cast<std::int64_t>(*value));
    } else {
        statement.bind(index);
    }
}

}  // namespace

std::int64_t InsertAuditEntry(SQLite::Database& connection, const TAuditEntry& entry) {
    SQLite::Statement insert(connection, kInsert);
    insert.bind(1, ToUnixMs(entry.At));
    insert.bind(2, std::string(KindName(entry.Kind)));
    insert.bind(3, std::string(CauseName(entry.Cause)));
    insert.bind(4, CleanText(entry.Actor, kMaxNameBytes));
    insert.bind(5, CleanText(entry.HornAddress, kMaxNameBytes));
    insert.bind(6, CleanText(entry.HornId, kMaxNameBytes));
    insert.bind(7, CleanText(entry.Group, kMaxNameBytes));
    insert.bind(8, CleanText(entry.Alarm, kMaxNameBytes));
    BindOptional(insert, 9, entry.Tone);
    BindOptional(insert, 10,
                 entry.Duration ? std::optional(entry.Duration->count()) : std::nullopt);
    BindOptional(insert, 11, entry.RingId);
    insert.bind(12, CleanText(entry.Detail, kMaxDetailBytes));
    insert.exec();
    return connection.getLastInsertRowid();
}

}  // namespace kstbell::store
