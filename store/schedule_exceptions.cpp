#include "store/schedule_exceptions.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "store/audit_insert.h"
#include "store/clean_text.h"
#include "store/database.h"
#include "store/store_error.h"
#include "text/iso_time.h"

namespace kstbell::store {

namespace chr = std::chrono;

namespace {

constexpr const char* kExceptionColumns =
    "SELECT id, first_date, last_date, plan, name, added_by, added_ms FROM schedule_exceptions";

chr::year_month_day ParseDate(const std::string& text, std::int64_t id) {
    if (const auto date = text::ParseDate(text)) return *date;
    throw TStoreError(TStoreErrorKind::Failed, "schedule exception " + std::to_string(id) +
                                                   " has a date that is not one: '" + text + "'");
}

TScheduleException ReadException(SQLite::Statement& row) {
    TScheduleException exception;
    exception.Id = row.getColumn(0).getInt64();
    exception.First = ParseDate(row.getColumn(1).getString(), exception.Id);
    exception.Last = ParseDate(row.getColumn(2).getString(), exception.Id);
    if (!row.getColumn(3).isNull()) exception.Plan = row.getColumn(3).getString();
    exception.Name = row.getColumn(4).getString();
    exception.AddedBy = row.getColumn(5).getString();
    exception.Added = FromUnixMs(row.getColumn(6).getInt64());
    return exception;
}

// "2027-01-07 to 2027-01-08: no bells (Staff training)", for the log.
std::string Describe(const TScheduleException& exception) {
    std::string line = text::FormatDate(exception.First);
    if (exception.Last != exception.First) line += " to " + text::FormatDate(exception.Last);
    line += exception.Plan ? ": plan " + *exception.Plan : std::string(": no bells");
    if (!exception.Name.empty()) line += " (" + exception.Name + ")";
    return line;
}

bool InRange(const chr::year_month_day& date) {
    return date.ok() && date.year() >= chr::year(0) && date.year() <= chr::year(9999);
}

}  // namespace

std::int64_t TScheduleExceptions::Add(const TScheduleException& exception, const TChange& change) {
    if (!InRange(exception.First) || !InRange(exception.Last) ||
        chr::sys_days(exception.First) > chr::sys_days(exception.Last)) {
        throw TStoreError(TStoreErrorKind::Failed,
                          "a schedule exception needs valid dates, the first not after the last");
    }
    return Guarded("adding a schedule exception", [&] {
        return db_.Write([&](SQLite::Database& connection) {
            SQLite::Transaction transaction(connection);
            SQLite::Statement insert(connection,
                                     "INSERT INTO schedule_exceptions (first_date, last_date, "
                                     "plan, name, added_by, added_ms) VALUES (?, ?, ?, ?, ?, ?)");
            insert.bind(1, text::FormatDate(exception.First));
            insert.bind(2, text::FormatDate(exception.Last));
            if (exception.Plan) {
                insert.bind(3, CleanText(*exception.Plan, kMaxNameBytes));
            } else {
                insert.bind(3);
            }
            insert.bind(4, CleanText(exception.Name, kMaxNameBytes));
            insert.bind(5, CleanText(change.Actor, kMaxNameBytes));
            insert.bind(6, ToUnixMs(change.At));
            insert.exec();
            const std::int64_t id = connection.getLastInsertRowid();
            InsertAuditEntry(connection,
                             ChangeEntry(change, TAuditKind::ExceptionAdded, Describe(exception)));
            transaction.commit();
            return id;
        });
    });
}

std::vector<TScheduleException> TScheduleExceptions::List() const {
    return Guarded("reading the schedule exceptions", [&] {
        return db_.Read([&](SQLite::Database& connection) {
            SQLite::Statement select(connection,
                                     std::string(kExceptionColumns) + " ORDER BY first_date, id");
            std::vector<TScheduleException> exceptions;
            while (select.executeStep())
                exceptions.push_back(ReadException(select));
            return exceptions;
        });
    });
}

bool TScheduleExceptions::Remove(std::int64_t id, const TChange& change) {
    return Guarded("removing a schedule exception", [&] {
        return db_.Write([&](SQLite::Database& connection) {
            SQLite::Transaction transaction(connection);
            std::optional<TScheduleException> exception;
            {
                SQLite::Statement select(connection,
                                         std::string(kExceptionColumns) + " WHERE id = ?");
                select.bind(1, id);
                if (!select.executeStep()) return false;
                exception = ReadException(select);
            }
            SQLite::Statement remove(connection, "DELETE FROM schedule_exceptions WHERE id = ?");
            remove.bind(1, id);
            remove.exec();
            InsertAuditEntry(connection, ChangeEntry(change, TAuditKind::ExceptionRemoved,
                                                     Describe(*exception)));
            transaction.commit();
            return true;
        });
    });
}

}  // namespace kstbell::store
