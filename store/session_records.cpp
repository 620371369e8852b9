#include "store/session_records.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "store/audit_insert.h"
#include "store/clean_text.h"
#include "store/database.h"
#include "store/store_error.h"

namespace kstbell::store {

namespace {

constexpr const char* kSessionColumns =
    "SELECT s.id, s.user_id, s.selector, s.secret_hash, s.csrf_token, s.client, s.created_ms, "
    "s.seen_ms, s.expires_ms, u.name, u.role, u.disabled_ms IS NOT NULL FROM sessions s JOIN "
    "users u ON u.id = s.user_id";

TSessionRow ReadSession(SQLite::Statement& row) {
    TSessionRow session;
    session.Id = row.getColumn(0).getInt64();
    session.UserId = row.getColumn(1).getInt64();
    session.Selector = row.getColumn(2).getString();
    const SQLite::Column hash = row.getColumn(3);
    session.SecretHash.assign(static_cast<const char*>(hash.getBlob()),
                              static_cast<std::size_t>(hash.getBytes()));
    session.Csrf = row.getColumn(4).getString();
    session.Client = row.getColumn(5).getString();
    session.Created = FromUnixMs(row.getColumn(6).getInt64());
    session.Seen = FromUnixMs(row.getColumn(7).getInt64());
    session.Expires = FromUnixMs(row.getColumn(8).getInt64());
    session.UserName = row.getColumn(9).getString();
    session.UserRole = row.getColumn(10).getString();
    session.UserDisabled = row.getColumn(11).getInt() != 0;
    return session;
}

std::string From(const std::string& client) {
    return client.empty() ? std::string() : "from " + client;
}

}  // namespace

std::optional<std::int64_t> TSessionRecords::Add(const TSessionRow& session,
                                                 const TChange& change) {
    return Guarded("adding a session", [&] {
        return db_.Write([&](SQLite::Database& connection) -> std::optional<std::int64_t> {
            SQLite::Transaction transaction(connection);
            SQLite::Statement insert(
                connection,
                "INSERT INTO sessions (user_id, selector, secret_hash, csrf_token, client, "
                "created_ms, seen_ms, expires_ms) SELECT id, ?, ?, ?, ?, ?, ?, ? FROM users "
                "WHERE id = ?");
            insert.bind(1, session.Selector);
            insert.bind(2, session.SecretHash.data(), static_cast<int>(session.SecretHash.size()));
            insert.bind(3, session.Csrf);
            insert.bind(4, CleanText(session.Client, kMaxNameBytes));
            insert.bind(5, ToUnixMs(session.Created));
            insert.bind(6, ToUnixMs(session.Created));
            insert.bind(7, ToUnixMs(session.Expires));
            insert.bind(8, session.UserId);
            if (insert.exec() == 0) return std::nullopt;
            const std::int64_t id = connection.getLastInsertRowid();
            InsertAuditEntry(connection,
                             ChangeEntry(change, TAuditKind::Login, From(session.Client)));
            transaction.commit();
            return id;
        });
    });
}

std::optional<TSessionRow> TSessionRecords::FindBySelector(const std::string& selector) const {
    return Guarded("reading the sessions", [&] {
        return db_.Read([&](SQLite::Database& connection) -> std::optional<TSessionRow> {
            SQLite::Statement select(connection,
                                     std::string(kSessionColumns) + " WHERE s.selector = ?");
            select.bind(1, selector);
            if (!select.executeStep()) return std::nullopt;
            return ReadSession(select);
        });
    });
}

void TSessionRecords::SetSeen(std::int64_t id, TUtcTime at) {
    Guarded("noting a session's use", [&] {
        db_.Write([&](SQLite::Database& connection) {
            SQLite::Statement update(connection, "UPDATE sessions SET seen_ms = ? WHERE id = ?");
            update.bind(1, ToUnixMs(at));
            update.bind(2, id);
            update.exec();
        });
    });
}

bool TSessionRecords::Remove(std::int64_t id, const TChange& change) {
    return Guarded("ending a session", [&] {
        return db_.Write([&](SQLite::Database& connection) {
            SQLite::Transaction transaction(connection);
            std::string client;
            {
                SQLite::Statement select(connection, "SELECT client FROM sessions WHERE id = ?");
                select.bind(1, id);
                if (!select.executeStep()) return false;
                client = select.getColumn(0).getString();
            }
            SQLite::Statement remove(connection, "DELETE FROM sessions WHERE id = ?");
            remove.bind(1, id);
            remove.exec();
            InsertAuditEntry(connection, ChangeEntry(change, TAuditKind::Logout, From(client)));
            transaction.commit();
            return true;
        });
    });
}

int TSessionRecords::RemoveExpired(TUtcTime now, TUtcTime idleCutoff) {
    return Guarded("removing ended sessions", [&] {
        return db_.Write([&](SQLite::Database& connection) {
            SQLite::Statement remove(connection,
                                     "DELETE FROM sessions WHERE expires_ms <= ? OR seen_ms <= ?");
            remove.bind(1, ToUnixMs(now));
            remove.bind(2, ToUnixMs(idleCutoff));
            return remove.exec();
        });
    });
}

int TSessionRecords::Count(std::int64_t userId) const {
    return Guarded("reading the sessions", [&] {
        return db_.Read([&](SQLite::Database& connection) {
            SQLite::Statement count(connection, "SELECT count(*) FROM sessions WHERE user_id = ?");
            count.bind(1, userId);
            count.executeStep();
            return count.getColumn(0).getInt();
        });
    });
}

}  // namespace kstbell::store
