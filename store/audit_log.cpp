#include "store/audit_log.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <string>
#include <thread>

#include "store/audit_insert.h"
#include "store/audit_query_sql.h"
#include "store/database.h"
#include "store/store_error.h"

namespace kstbell::store {

namespace {

// Entries pruned per transaction: small enough that an append waits a few milliseconds at
// most, large enough that a year's worth goes in minutes.
constexpr int kPruneBatch = 100;
// The pause between two of them, in which a thread waiting to write gets the lock (a mutex
// released and taken again at once would mostly go back to the pruning thread).
constexpr auto kPrunePause = std::chrono::milliseconds(1);

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

void Bind(SQLite::Statement& statement, const TAuditSql& sql) {
    int index = 0;
    for (const auto& parameter : sql.Parameters) {
        ++index;
        if (const auto* number = std::get_if<std::int64_t>(&parameter)) {
            statement.bind(index, *number);
        } else {
            statement.bind(index, std::get<std::string>(parameter));
        }
    }
}

}  // namespace

std::int64_t TAuditLog::Append(const TAuditEntry& entry) {
    return Guarded("appending to the audit log", [&] {
        return db_.Write(
            [&](SQLite::Database& connection) { return InsertAuditEntry(connection, entry); });
    });
}

void TAuditLog::AppendAll(std::span<const TAuditEntry> entries) {
    Guarded("appending to the audit log", [&] {
        db_.Write([&](SQLite::Database& connection) {
            SQLite::Transaction transaction(connection);
            for (const TAuditEntry& entry : entries)
                InsertAuditEntry(connection, entry);
            transaction.commit();
        });
    });
}

TAuditPage TAuditLog::Query(const TAuditQuery& query) const {
    const int limit = std::clamp(query.Limit, 1, kMaxAuditLimit);
    return Guarded("reading the audit log", [&] {
        return db_.Read([&](SQLite::Database& connection) {
            // One more than asked for tells whether another page follows.
            const TAuditSql sql = AuditSql(query, limit + 1);
            SQLite::Statement statement(connection, sql.Text);
            Bind(statement, sql);
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
        std::this_thread::sleep_for(kPrunePause);
    }
}

}  // namespace kstbell::store
