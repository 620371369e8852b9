#include "store/site_names_store.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>

#include "store/audit_insert.h"
#include "store/clean_text.h"
#include "store/database.h"
#include "store/store_error.h"

namespace kstbell::store {

namespace {

TSiteNameSet ReadSet(SQLite::Database& connection) {
    TSiteNameSet out;
    SQLite::Statement revision(connection, "SELECT revision FROM site_names_revision");
    if (revision.executeStep()) out.Revision = revision.getColumn(0).getInt64();
    SQLite::Statement names(connection, "SELECT horn_address, name FROM horn_names");
    while (names.executeStep())
        out.HornNames.emplace(names.getColumn(0).getString(), names.getColumn(1).getString());
    SQLite::Statement members(connection,
                              "SELECT group_name, horn_address FROM site_groups "
                              "ORDER BY group_name, horn_address");
    while (members.executeStep())
        out.Groups[members.getColumn(0).getString()].push_back(members.getColumn(1).getString());
    return out;
}

}  // namespace

TSiteNameSet TSiteNameRecords::Current() const {
    return Guarded("reading the horns' names and the groups",
                   [&] { return db_.Read([&](SQLite::Database& c) { return ReadSet(c); }); });
}

TSiteNamesSave TSiteNameRecords::Save(std::int64_t expected, const TSiteNameSet& names,
                                      const TAuditEntry& entry) {
    return Guarded("saving the horns' names and the groups", [&] {
        return db_.Write([&](SQLite::Database& connection) {
            // Immediate: the check of the revision and the writes are one step for every
            // writer of the file.
            SQLite::Transaction transaction(connection, SQLite::TransactionBehavior::IMMEDIATE);
            TSiteNamesSave out;
            out.Current = ReadSet(connection);
            if (out.Current.Revision != expected) return out;
            TSiteNameSet next;
            next.Revision = expected + 1;
            for (const auto& [address, name] : names.HornNames)
                if (!name.empty())
                    next.HornNames.emplace(CleanText(address, kMaxNameBytes),
                                           CleanText(name, kMaxNameBytes));
            for (const auto& [group, addresses] : names.Groups) {
                auto& into = next.Groups[CleanText(group, kMaxNameBytes)];
                for (const auto& address : addresses)
                    into.push_back(CleanText(address, kMaxNameBytes));
                std::sort(into.begin(), into.end());
                into.erase(std::unique(into.begin(), into.end()), into.end());
            }
            connection.exec("DELETE FROM horn_names; DELETE FROM site_groups;");
            connection.exec("INSERT INTO site_names_revision (id, revision) VALUES (1, " +
                            std::to_string(next.Revision) +
                            ") ON CONFLICT (id) DO UPDATE SET revision = excluded.revision");
            SQLite::Statement name(connection,
                                   "INSERT INTO horn_names (horn_address, name) VALUES (?, ?)");
            for (const auto& [address, text] : next.HornNames) {
                name.bind(1, address);
                name.bind(2, text);
                name.exec();
                name.reset();
            }
            SQLite::Statement member(
                connection, "INSERT INTO site_groups (group_name, horn_address) VALUES (?, ?)");
            for (const auto& [group, addresses] : next.Groups) {
                for (const auto& address : addresses) {
                    member.bind(1, group);
                    member.bind(2, address);
                    member.exec();
                    member.reset();
                }
            }
            InsertAuditEntry(connection, entry);
            transaction.commit();
            out.Saved = true;
            out.Current = std::move(next);
            return out;
        });
    });
}

}  // namespace kstbell::store
