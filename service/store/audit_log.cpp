#include "service/store/audit_log.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <string>

#include "service/store/clean_text.h"
#include "service/store/database.h"
#include "service/store/store_error.h"

namespace kstbell::store {

namespace {

constexpr const char* kInsert =
    "INSERT INTO audit_log (at_ms, kind, cause, actor, horn_address, horn_id, group_name, "
    "alarm, tone, duration_ms, ring_id, detail) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

constexpr const char* kColumns =
    "SELECT id, at_ms, kind, cause, actor, horn_address, horn_id, group_name, alarm, tone, "
    "duration_ms, ring_id, detail FROM audit_log";

// Entries pruned per transaction: small enough that an append waits a few milliseconds at
// most, large enough that a year's worth goes in seconds.
constexpr int kPruneBatch = 2000;

template <typename T>
void BindOptional(SQLite::Statement& statement, int index, const std::optional<T>& value) {
    if (value) {
        statement.bind(index, static_cast<std::int64_t>(*value));
    } else {
        statement.bind(index);
    }
}

std::int64_t Insert(SQLite::Database& connection, const TAuditEntry& entry) {
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

TAuditEntry ReadEntry(SQLite::Statement& row) {
    TAuditEntry entry;
    entry.Id = row.getColumn(0).getInt64();
    entry.At = FromUnixMs(row.getColumn(1).getInt64());
    const std::string kind = row.getColumn(2).getString();
    const std::string cause = row.getColumn(3).getString();
    const auto knownKind = KindFromName(kind);
    const auto knownCause = CauseFromName(cause);
    if (!knownKind || !knownCause) {
        throw TStoreError(TStoreErrorKind::Failed,
                          "audit entry " + std::to_string(entry.Id) + " has an unknown " +
                              (knownKind ? "cause '" + cause : "kind '" + kind) + "'");
    }
    entry.Kind = *knownKind;
    entry.Cause = *knownCause;
    entry.Actor = row.getColumn(4).getString();
    entry.HornAddress = row.getColumn(5).getString();
    entry.HornId = row.getColumn(6).getString();
    entry.Group = row.getColumn(7).getString();
    entry.Alarm = row.getColumn(8).getString();
    if (!row.getColumn(9).isNull()) entry.Tone = row.getColumn(9).getInt();
    if (!row.getColumn(10).isNull()) {
        entry.Duration = std::chrono::milliseconds(row.getColumn(10).getInt64());
    }
    if (!row.getColumn(11).isNull()) entry.RingId = row.getColumn(11).getInt64();
    entry.Detail = row.getColumn(12).getString();
    return entry;
}

// "?, ?, ?" for count values.
std::string Placeholders(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += i ? ", ?" : "?";
    return text;
}

// The statement's text for the query; Bind fills its parameters in the same order.
std::string QueryText(const TAuditQuery& query) {
    const bool newest = query.Order == TAuditOrder::NewestFirst;
    std::string sql = std::string(kColumns) + " WHERE 1";
    if (query.Since) sql += " AND at_ms >= ?";
    if (query.Until) sql += " AND at_ms < ?";
    if (!query.Horn.empty()) sql += " AND (horn_address = ? OR horn_id = ?)";
    if (!query.Kinds.empty()) sql += " AND kind IN (" + Placeholders(query.Kinds.size()) + ")";
    if (!query.Causes.empty()) sql += " AND cause IN (" + Placeholders(query.Causes.size()) + ")";
    if (query.After) sql += newest ? " AND (at_ms, id) < (?, ?)" : " AND (at_ms, id) > (?, ?)";
    sql += newest ? " ORDER BY at_ms DESC, id DESC" : " ORDER BY at_ms, id";
    sql += " LIMIT ? OFFSET ?";
    return sql;
}

void Bind(SQLite::Statement& statement, const TAuditQuery& query, int limit) {
    int index = 0;
    if (query.Since) statement.bind(++index, ToUnixMs(*query.Since));
    if (query.Until) statement.bind(++index, ToUnixMs(*query.Until));
    if (!query.Horn.empty()) {
        statement.bind(++index, query.Horn);
        statement.bind(++index, query.Horn);
    }
    for (const TAuditKind kind : query.Kinds)
        statement.bind(++index, std::string(KindName(kind)));
    for (const TAuditCause cause : query.Causes) {
        statement.bind(++index, std::string(CauseName(cause)));
    }
    if (query.After) {
        statement.bind(++index, ToUnixMs(query.After->At));
        statement.bind(++index, query.After->Id);
    }
    statement.bind(++index, limit);
    statement.bind(++index, std::max(query.Offset, 0));
}

}  // namespace

std::int64_t TAuditLog::Append(const TAuditEntry& entry) {
    return Guarded("appending to the audit log", [&] {
        return db_.Write([&](SQLite::Database& connection) { return Insert(connection, entry); });
    });
}

void TAuditLog::AppendAll(std::span<const TAuditEntry> entries) {
    Guarded("appending to the audit log", [&] {
        db_.Write([&](SQLite::Database& connection) {
            SQLite::Transaction transaction(connection);
            for (const TAuditEntry& entry : entries)
                Insert(connection, entry);
            transaction.commit();
        });
    });
}

TAuditPage TAuditLog::Query(const TAuditQuery& query) const {
    const int limit = std::clamp(query.Limit, 1, kMaxAuditLimit);
    return Guarded("reading the audit log", [&] {
        return db_.Read([&](SQLite::Database& connection) {
            SQLite::Statement statement(connection, QueryText(query));
            // One more than asked for tells whether another page follows.
            Bind(statement, query, limit + 1);
            TAuditPage page;
            while (statement.executeStep()) {
                if (static_cast<int>(page.Entries.size()) == limit) {
                    const TAuditEntry& last = page.Entries.back();
                    page.Next = TAuditCursor{last.At, last.Id};
                    break;
                }
                page.Entries.push_back(ReadEntry(statement));
            }
            return page;
        });
    });
}

std::int64_t TAuditLog::PruneBefore(TUtcTime cutoff) {
    std::int64_t removed = 0;
    for (;;) {
        const int batch = Guarded("pruning the audit log", [&] {
            return db_.Write([&](SQLite::Database& connection) {
                SQLite::Statement remove(connection,
                                         "DELETE FROM audit_log WHERE id IN (SELECT id FROM "
                                         "audit_log WHERE at_ms < ? ORDER BY at_ms LIMIT ?)");
                remove.bind(1, ToUnixMs(cutoff));
                remove.bind(2, kPruneBatch);
                return remove.exec();
            });
        });
        removed += batch;
        if (batch < kPruneBatch) return removed;
    }
}

}  // namespace kstbell::store
