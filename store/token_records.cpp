#include "store/token_records.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "store/audit_insert.h"
#include "store/database.h"
#include "store/store_error.h"

namespace kstbell::store {

namespace {

constexpr const char* kTokenColumns =
    "SELECT t.id, t.user_id, t.name, t.role, t.selector, t.secret_hash, t.created_ms, "
    "t.last_used_ms, u.name, u.role, u.disabled_ms IS NOT NULL FROM api_tokens t JOIN users u "
    "ON u.id = t.user_id";

TTokenRow ReadToken(SQLite::Statement& row) {
    TTokenRow token;
    token.Id = row.getColumn(0).getInt64();
    token.UserId = row.getColumn(1).getInt64();
    token.Name = row.getColumn(2).getString();
    token.Role = row.getColumn(3).getString();
    token.Selector = row.getColumn(4).getString();
    const SQLite::Column hash = row.getColumn(5);
    token.SecretHash.assign(static_cast<const char*>(hash.getBlob()),
                            static_cast<std::size_t>(hash.getBytes()));
    token.Created = FromUnixMs(row.getColumn(6).getInt64());
    if (!row.getColumn(7).isNull()) token.LastUsed = FromUnixMs(row.getColumn(7).getInt64());
    token.UserName = row.getColumn(8).getString();
    token.UserRole = row.getColumn(9).getString();
    token.UserDisabled = row.getColumn(10).getInt() != 0;
    return token;
}

std::string Describe(const TTokenRow& token) {
    return "token " + std::to_string(token.Id) + " '" + token.Name + "' of " + token.UserName +
           " (" + token.Role + ")";
}

std::optional<TTokenRow> FindIn(SQLite::Database& connection, std::int64_t id) {
    SQLite::Statement select(connection, std::string(kTokenColumns) + " WHERE t.id = ?");
    select.bind(1, id);
    if (!select.executeStep()) return std::nullopt;
    return ReadToken(select);
}

template <typename TBind>
std::optional<TTokenRow> FindWhere(TDatabase& db, const char* where, TBind&& bind) {
    return Guarded("reading the API tokens", [&] {
        return db.Read([&](SQLite::Database& connection) -> std::optional<TTokenRow> {
            SQLite::Statement select(connection, std::string(kTokenColumns) + where);
            bind(select);
            if (!select.executeStep()) return std::nullopt;
            return ReadToken(select);
        });
    });
}

}  // namespace

std::optional<std::int64_t> TTokenRecords::Add(const TTokenRow& token, const TChange& change) {
    return Guarded("adding an API token", [&] {
        return db_.Write([&](SQLite::Database& connection) -> std::optional<std::int64_t> {
            SQLite::Transaction transaction(connection);
            SQLite::Statement insert(
                connection,
                "INSERT INTO api_tokens (user_id, name, role, selector, secret_hash, created_ms) "
                "SELECT id, ?, ?, ?, ?, ? FROM users WHERE id = ? ON CONFLICT DO NOTHING");
            insert.bind(1, token.Name);
            insert.bind(2, token.Role);
            insert.bind(3, token.Selector);
            insert.bind(4, token.SecretHash.data(), static_cast<int>(token.SecretHash.size()));
            insert.bind(5, ToUnixMs(token.Created));
            insert.bind(6, token.UserId);
            if (insert.exec() == 0) return std::nullopt;
            const std::int64_t id = connection.getLastInsertRowid();
            InsertAuditEntry(connection, ChangeEntry(change, TAuditKind::TokenCreated,
                                                     Describe(*FindIn(connection, id))));
            transaction.commit();
            return id;
        });
    });
}

std::vector<TTokenRow> TTokenRecords::List() const {
    return Guarded("reading the API tokens", [&] {
        return db_.Read([&](SQLite::Database& connection) {
            SQLite::Statement select(connection,
                                     std::string(kTokenColumns) + " ORDER BY u.name, t.name");
            std::vector<TTokenRow> tokens;
            while (select.executeStep())
                tokens.push_back(ReadToken(select));
            return tokens;
        });
    });
}

std::optional<TTokenRow> TTokenRecords::Find(std::int64_t id) const {
    return FindWhere(db_, " WHERE t.id = ?", [&](SQLite::Statement& s) { s.bind(1, id); });
}

std::optional<TTokenRow> TTokenRecords::FindBySelector(const std::string& selector) const {
    return FindWhere(db_, " WHERE t.selector = ?",
                     [&](SQLite::Statement& s) { s.bind(1, selector); });
}

bool TTokenRecords::Revoke(std::int64_t id, const TChange& change) {
    return Guarded("revoking an API token", [&] {
        return db_.Write([&](SQLite::Database& connection) {
            SQLite::Transaction transaction(connection);
            const auto token = FindIn(connection, id);
            if (!token) return false;
            SQLite::Statement remove(connection, "DELETE FROM api_tokens WHERE id = ?");
            remove.bind(1, id);
            remove.exec();
            InsertAuditEntry(connection,
                             ChangeEntry(change, TAuditKind::TokenRevoked, Describe(*token)));
            transaction.commit();
            return true;
        });
    });
}

void TTokenRecords::SetLastUsed(std::int64_t id, TUtcTime at) {
    Guarded("noting an API token's use", [&] {
        db_.Write([&](SQLite::Database& connection) {
            SQLite::Statement update(connection,
                                     "UPDATE api_tokens SET last_used_ms = ? WHERE id = ?");
            update.bind(1, ToUnixMs(at));
            update.bind(2, id);
            update.exec();
        });
    });
}

}  // namespace kstbell::store
