#include "store/timetable_store.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "store/audit_insert.h"
#include "store/clean_text.h"
#include "store/database.h"
#include "store/store_error.h"

namespace kstbell::store {

namespace {

constexpr const char* kRevisionColumns =
    "SELECT revision, changed_by, changed_ms, document, summary FROM timetable_revisions";
// A summary is a line for people; the document holds everything.
constexpr std::size_t kMaxSummaryBytes = 2000;

TTimetableRevision ReadRevision(SQLite::Statement& row) {
    TTimetableRevision r;
    r.Revision = row.getColumn(0).getInt64();
    r.ChangedBy = row.getColumn(1).getString();
    r.ChangedAt = FromUnixMs(row.getColumn(2).getInt64());
    r.Document = row.getColumn(3).getString();
    r.Summary = row.getColumn(4).getString();
    return r;
}

std::optional<TTimetableRevision> Newest(SQLite::Database& connection) {
    SQLite::Statement select(connection,
                             std::string(kRevisionColumns) + " ORDER BY revision DESC LIMIT 1");
    if (!select.executeStep()) return std::nullopt;
    return ReadRevision(select);
}

}  // namespace

std::optional<TTimetableRevision> TTimetableRevisions::Current() const {
    return Guarded("reading the timetable",
                   [&] { return db_.Read([&](SQLite::Database& c) { return Newest(c); }); });
}

std::optional<TTimetableRevision> TTimetableRevisions::Revision(std::int64_t revision) const {
    return Guarded("reading a revision of the timetable", [&] {
        return db_.Read([&](SQLite::Database& connection) -> std::optional<TTimetableRevision> {
            SQLite::Statement select(connection,
                                     std::string(kRevisionColumns) + " WHERE revision = ?");
            select.bind(1, revision);
            if (!select.executeStep()) return std::nullopt;
            return ReadRevision(select);
        });
    });
}

std::vector<TTimetableRevision> TTimetableRevisions::History(std::size_t limit) const {
    return Guarded("reading the timetable's revisions", [&] {
        return db_.Read([&](SQLite::Database& connection) {
            SQLite::Statement select(connection,
                                     "SELECT revision, changed_by, changed_ms, '', summary FROM "
                                     "timetable_revisions ORDER BY revision DESC LIMIT ?");
            select.bind(1, static_cast<std::int64_t>(limit));
            std::vector<TTimetableRevision> out;
            while (select.executeStep())
                out.push_back(ReadRevision(select));
            return out;
        });
    });
}

TTimetableSave TTimetableRevisions::Save(std::int64_t expected, const std::string& document,
                                         const std::string& summary, const TChange& change) {
    return Guarded("saving the timetable", [&] {
        return db_.Write([&](SQLite::Database& connection) {
            // Immediate: the check of the current revision and the insert are one step for
            // every writer of the file, other programs too.
            SQLite::Transaction transaction(connection, SQLite::TransactionBehavior::IMMEDIATE);
            TTimetableSave out;
            const auto current = Newest(connection);
            if ((current ? current->Revision : 0) != expected) {
                out.Current = current.value_or(TTimetableRevision{});
                return out;
            }
            TTimetableRevision next;
            next.Revision = expected + 1;
            next.ChangedBy = CleanText(change.Actor, kMaxNameBytes);
            next.ChangedAt = change.At;
            next.Document = document;
            next.Summary = CleanText(summary, kMaxSummaryBytes);
            SQLite::Statement insert(connection,
                                     "INSERT INTO timetable_revisions (revision, changed_by, "
                                     "changed_ms, document, summary) VALUES (?, ?, ?, ?, ?)");
            insert.bind(1, next.Revision);
            insert.bind(2, next.ChangedBy);
            insert.bind(3, ToUnixMs(next.ChangedAt));
            insert.bind(4, next.Document);
            insert.bind(5, next.Summary);
            insert.exec();
            InsertAuditEntry(connection, ChangeEntry(change, TAuditKind::TimetableChanged,
                                                     "revision " + std::to_string(next.Revision) +
                                                         ": " + next.Summary));
            transaction.commit();
            out.Saved = true;
            out.Current = std::move(next);
            return out;
        });
    });
}

}  // namespace kstbell::store
