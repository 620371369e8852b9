#include "store/user_records.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "store/audit_insert.h"
#include "store/database.h"
#include "store/store_error.h"

namespace kstbell::store {

namespace {

constexpr const char* kUserColumns =
    "SELECT id, name, role, password_hash, created_ms, password_ms, disabled_ms FROM users";

TUserRow ReadUser(SQLite::Statement& row) {
    TUserRow user;
    user.Id = row.getColumn(0).getInt64();
    user.Name = row.getColumn(1).getString();
    user.Role = row.getColumn(2).getString();
    user.PasswordHash = row.getColumn(3).getString();
    user.Created = FromUnixMs(row.getColumn(4).getInt64());
    user.PasswordChanged = FromUnixMs(row.getColumn(5).getInt64());
    if (!row.getColumn(6).isNull()) user.Disabled = FromUnixMs(row.getColumn(6).getInt64());
    return user;
}

// The user as stored, inside a transaction of the writer.
std::optional<TUserRow> FindIn(SQLite::Database& connection, std::string_view name) {
    SQLite::Statement select(connection, std::string(kUserColumns) + " WHERE name = ?");
    select.bind(1, std::string(name));
    if (!select.executeStep()) return std::nullopt;
    return ReadUser(select);
}

int EndSessions(SQLite::Database& connection, std::int64_t userId) {
    SQLite::Statement remove(connection, "DELETE FROM sessions WHERE user_id = ?");
    remove.bind(1, userId);
    return remove.exec();
}

std::string Sessions(int count) {
    return count == 1 ? "1 session ended" : std::to_string(count) + " sessions ended";
}

// Whether user is the only enabled user with the role keep (none: nothing is kept).
bool LastEnabled(SQLite::Database& connection, const TUserRow& user, std::string_view keep) {
    if (keep.empty() || user.Role != keep || user.Disabled) return false;
    SQLite::Statement count(connection,
                            "SELECT count(*) FROM users WHERE role = ? AND disabled_ms IS NULL "
                            "AND id <> ?");
    count.bind(1, std::string(keep));
    count.bind(2, user.Id);
    count.executeStep();
    return count.getColumn(0).getInt64() == 0;
}

// Runs change(connection, user) on the named user in one write transaction with its audit
// entry, which change returns (nothing: no change worth logging), unless the user is the last
// enabled one of the role keep and takesOut(user) says the change would end that.
template <typename TTakesOut, typename TBody>
TUserChange ChangeUser(TDatabase& db, const char* what, std::string_view name,
                       std::string_view keep, TTakesOut&& takesOut, TBody&& change) {
    return Guarded(what, [&] {
        return db.Write([&](SQLite::Database& connection) {
            // Begun as a writer: what is counted cannot change before the change is made.
            SQLite::Transaction transaction(connection, SQLite::TransactionBehavior::IMMEDIATE);
            const auto user = FindIn(connection, name);
            if (!user) return TUserChange::NoSuchUser;
            if (takesOut(*user) && LastEnabled(connection, *user, keep)) {
                return TUserChange::LastKept;
            }
            const std::optional<TAuditEntry> entry = change(connection, *user);
            if (entry) InsertAuditEntry(connection, *entry);
            transaction.commit();
            return TUserChange::Made;
        });
    });
}

}  // namespace

std::optional<std::int64_t> TUserRecords::Add(const TUserRow& user, const TChange& change) {
    return Guarded("adding a user", [&] {
        return db_.Write([&](SQLite::Database& connection) -> std::optional<std::int64_t> {
            SQLite::Transaction transaction(connection);
            SQLite::Statement insert(connection,
                                     "INSERT INTO users (name, role, password_hash, created_ms, "
                                     "password_ms) VALUES (?, ?, ?, ?, ?) ON CONFLICT DO NOTHING");
            insert.bind(1, user.Name);
            insert.bind(2, user.Role);
            insert.bind(3, user.PasswordHash);
            insert.bind(4, ToUnixMs(user.Created));
            insert.bind(5, ToUnixMs(user.Created));
            if (insert.exec() == 0) return std::nullopt;
            const std::int64_t id = connection.getLastInsertRowid();
            InsertAuditEntry(connection, ChangeEntry(change, TAuditKind::UserAdded,
                                                     user.Name + " (" + user.Role + ")"));
            transaction.commit();
            return id;
        });
    });
}

std::optional<TUserRow> TUserRecords::Find(std::string_view name) const {
    return Guarded("reading the users", [&] {
        return db_.Read([&](SQLite::Database& connection) { return FindIn(connection, name); });
    });
}

std::optional<TUserRow> TUserRecords::Find(std::int64_t id) const {
    return Guarded("reading the users", [&] {
        return db_.Read([&](SQLite::Database& connection) -> std::optional<TUserRow> {
            SQLite::Statement select(connection, std::string(kUserColumns) + " WHERE id = ?");
            select.bind(1, id);
            if (!select.executeStep()) return std::nullopt;
            return ReadUser(select);
        });
    });
}

std::vector<TUserRow> TUserRecords::List() const {
    return Guarded("reading the users", [&] {
        return db_.Read([&](SQLite::Database& connection) {
            SQLite::Statement select(connection, std::string(kUserColumns) + " ORDER BY name");
            std::vector<TUserRow> users;
            while (select.executeStep())
                users.push_back(ReadUser(select));
            return users;
        });
    });
}

TUserChange TUserRecords::Remove(std::string_view name, const TChange& change,
                                 std::string_view keep) {
    const auto always = [](const TUserRow&) { return true; };
    return ChangeUser(
        db_, "removing a user", name, keep, always, [&](auto& connection, const TUserRow& user) {
            int tokens = 0, sessions = 0;
            {
                SQLite::Statement count(
                    connection,
                    "SELECT (SELECT count(*) FROM api_tokens WHERE user_id = ?1), "
                    "(SELECT count(*) FROM sessions WHERE user_id = ?1)");
                count.bind(1, user.Id);
                count.executeStep();
                tokens = count.getColumn(0).getInt();
                sessions = count.getColumn(1).getInt();
            }
            SQLite::Statement remove(connection, "DELETE FROM users WHERE id = ?");
            remove.bind(1, user.Id);
            remove.exec();  // its tokens and sessions go with it
            return std::optional(ChangeEntry(change, TAuditKind::UserRemoved,
                                             user.Name + " (" + user.Role + "); " +
                                                 std::to_string(tokens) + " tokens revoked, " +
                                                 Sessions(sessions)));
        });
}

TUserChange TUserRecords::SetRole(std::string_view name, const std::string& role,
                                  const TChange& change, std::string_view keep) {
    const auto another = [&](const TUserRow& user) { return user.Role != role; };
    return ChangeUser(db_, "changing a user's role", name, keep, another,
                      [&](auto& connection, const TUserRow& user) -> std::optional<TAuditEntry> {
                          if (user.Role == role) return std::nullopt;
                          SQLite::Statement update(connection,
                                                   "UPDATE users SET role = ? WHERE id = ?");
                          update.bind(1, role);
                          update.bind(2, user.Id);
                          update.exec();
                          return ChangeEntry(change, TAuditKind::UserRoleChanged,
                                             user.Name + ": " + user.Role + " -> " + role);
                      });
}

bool TUserRecords::SetPasswordHash(std::string_view name, const std::string& hash,
                                   const TChange& change) {
    const auto never = [](const TUserRow&) { return false; };
    return ChangeUser(db_, "changing a user's password", name, "", never,
                      [&](auto& connection, const TUserRow& user) {
                          SQLite::Statement update(connection,
                                                   "UPDATE users SET password_hash = ?, "
                                                   "password_ms = ? WHERE id = ?");
                          update.bind(1, hash);
                          update.bind(2, ToUnixMs(change.At));
                          update.bind(3, user.Id);
                          update.exec();
                          const int ended = EndSessions(connection, user.Id);
                          return std::optional(ChangeEntry(change, TAuditKind::UserPasswordChanged,
                                                           user.Name + "; " + Sessions(ended)));
                      }) == TUserChange::Made;
}

TUserChange TUserRecords::SetDisabled(std::string_view name, bool disabled, const TChange& change,
                                      std::string_view keep) {
    const auto disabling = [&](const TUserRow&) { return disabled; };
    return ChangeUser(db_, "disabling or enabling a user", name, keep, disabling,
                      [&](auto& connection, const TUserRow& user) -> std::optional<TAuditEntry> {
                          if (user.Disabled.has_value() == disabled) return std::nullopt;
                          SQLite::Statement update(connection,
                                                   "UPDATE users SET disabled_ms = ? WHERE id = ?");
                          if (disabled) {
                              update.bind(1, ToUnixMs(change.At));
                          } else {
                              update.bind(1);
                          }
                          update.bind(2, user.Id);
                          update.exec();
                          if (!disabled) {
                              return ChangeEntry(change, TAuditKind::UserEnabled, user.Name);
                          }
                          const int ended = EndSessions(connection, user.Id);
                          return ChangeEntry(change, TAuditKind::UserDisabled,
                                             user.Name + "; " + Sessions(ended));
                      });
}

bool TUserRecords::ReplacePasswordHash(std::int64_t id, const std::string& oldHash,
                                       const std::string& newHash) {
    return Guarded("replacing a password hash", [&] {
        return db_.Write([&](SQLite::Database& connection) {
            SQLite::Statement update(connection,
                                     "UPDATE users SET password_hash = ? WHERE id = ? AND "
                                     "password_hash = ?");
            update.bind(1, newHash);
            update.bind(2, id);
            update.bind(3, oldHash);
            return update.exec() == 1;
        });
    });
}

}  // namespace kstbell::store
