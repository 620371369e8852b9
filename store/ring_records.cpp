#include "store/ring_records.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "store/clean_text.h"
#include "store/database.h"
#include "store/store_error.h"

namespace kstbell::store {

namespace {

constexpr const char* kRingColumns =
    "SELECT id, tone, priority, start_ms, end_ms, cause, actor, group_name, alarm FROM rings";

TRingRecord ReadRing(SQLite::Database& connection, SQLite::Statement& row) {
    TRingRecord ring;
    ring.Id = row.getColumn(0).getInt64();
    ring.Tone = row.getColumn(1).getInt();
    ring.Priority = row.getColumn(2).getInt();
    ring.Start = FromUnixMs(row.getColumn(3).getInt64());
    ring.End = FromUnixMs(row.getColumn(4).getInt64());
    const std::string cause = row.getColumn(5).getString();
    const auto known = CauseFromName(cause);
    if (!known) {
        throw TStoreError(TStoreErrorKind::Failed, "ring " + std::to_string(ring.Id) +
                                                       " has an unknown cause '" + cause + "'");
    }
    ring.Cause = *known;
    ring.Actor = row.getColumn(6).getString();
    ring.Group = row.getColumn(7).getString();
    ring.Alarm = row.getColumn(8).getString();

    SQLite::Statement horns(connection,
                            "SELECT horn_address, horn_id, off_ms FROM ring_horns WHERE "
                            "ring_id = ? ORDER BY horn_address");
    horns.bind(1, ring.Id);
    while (horns.executeStep()) {
        TRingHorn horn{horns.getColumn(0).getString(), horns.getColumn(1).getString(), {}};
        if (!horns.getColumn(2).isNull()) horn.OffAt = FromUnixMs(horns.getColumn(2).getInt64());
        ring.Horns.push_back(std::move(horn));
    }
    return ring;
}

}  // namespace

std::int64_t TRingRecords::Record(const TRingRecord& ring) {
    return Guarded("recording a ring", [&] {
        return db_.WriteDurably([&](SQLite::Database& connection) {
            SQLite::Transaction transaction(connection);
            SQLite::Statement insert(connection,
                                     "INSERT INTO rings (tone, priority, start_ms, end_ms, cause, "
                                     "actor, group_name, alarm) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
            insert.bind(1, ring.Tone);
            insert.bind(2, ring.Priority);
            insert.bind(3, ToUnixMs(ring.Start));
            insert.bind(4, ToUnixMs(ring.End));
            insert.bind(5, std::string(CauseName(ring.Cause)));
            insert.bind(6, CleanText(ring.Actor, kMaxNameBytes));
            insert.bind(7, CleanText(ring.Group, kMaxNameBytes));
            insert.bind(8, CleanText(ring.Alarm, kMaxNameBytes));
            insert.exec();
            const std::int64_t id = connection.getLastInsertRowid();
            SQLite::Statement horn(connection,
                                   "INSERT OR IGNORE INTO ring_horns (ring_id, horn_address, "
                                   "horn_id) VALUES (?, ?, ?)");
            for (const TRingHorn& each : ring.Horns) {
                horn.bind(1, id);
                horn.bind(2, CleanText(each.Address, kMaxNameBytes));
                horn.bind(3, CleanText(each.Id, kMaxNameBytes));
                horn.exec();
                horn.reset();
            }
            transaction.commit();
            return id;
        });
    });
}

bool TRingRecords::SetEnd(std::int64_t ringId, TUtcTime end) {
    return Guarded("changing a ring's end", [&] {
        return db_.WriteDurably([&](SQLite::Database& connection) {
            SQLite::Statement update(connection, "UPDATE rings SET end_ms = ? WHERE id = ?");
            update.bind(1, ToUnixMs(end));
            update.bind(2, ringId);
            return update.exec() == 1;
        });
    });
}

int TRingRecords::EndAll(TUtcTime at) {
    return Guarded("ending every ring", [&] {
        return db_.WriteDurably([&](SQLite::Database& connection) {
            SQLite::Statement update(connection, "UPDATE rings SET end_ms = ? WHERE end_ms > ?");
            update.bind(1, ToUnixMs(at));
            update.bind(2, ToUnixMs(at));
            return update.exec();
        });
    });
}

// Marking off needs no flush to the disk: were it lost, a restarted service would only
// switch the horn off once more.
bool TRingRecords::MarkHornOff(std::int64_t ringId, const std::string& address, TUtcTime at) {
    return Guarded("marking a horn off", [&] {
        return db_.Write([&](SQLite::Database& connection) {
            SQLite::Statement select(connection,
                                     "SELECT 1 FROM ring_horns WHERE ring_id = ? AND "
                                     "horn_address = ?");
            select.bind(1, ringId);
            select.bind(2, CleanText(address, kMaxNameBytes));
            if (!select.executeStep()) return false;
            SQLite::Statement update(connection,
                                     "UPDATE ring_horns SET off_ms = ? WHERE ring_id = ? AND "
                                     "horn_address = ? AND off_ms IS NULL");
            update.bind(1, ToUnixMs(at));
            update.bind(2, ringId);
            update.bind(3, CleanText(address, kMaxNameBytes));
            update.exec();
            return true;
        });
    });
}

int TRingRecords::MarkHornOffInEndedRings(const std::string& address, TUtcTime at) {
    return Guarded("marking a horn off", [&] {
        return db_.Write([&](SQLite::Database& connection) {
            SQLite::Statement update(connection,
                                     "UPDATE ring_horns SET off_ms = ? WHERE horn_address = ? AND "
                                     "off_ms IS NULL AND ring_id IN (SELECT id FROM rings WHERE "
                                     "end_ms <= ?)");
            update.bind(1, ToUnixMs(at));
            update.bind(2, CleanText(address, kMaxNameBytes));
            update.bind(3, ToUnixMs(at));
            return update.exec();
        });
    });
}

std::vector<TRingRecord> TRingRecords::Unfinished(TUtcTime now) const {
    return Guarded("reading the ring records", [&] {
        return db_.Read([&](SQLite::Database& connection) {
            SQLite::Statement select(connection,
                                     std::string(kRingColumns) +
                                         " r WHERE end_ms > ? OR EXISTS (SELECT 1 FROM ring_horns "
                                         "h WHERE h.ring_id = r.id AND h.off_ms IS NULL) ORDER BY "
                                         "start_ms, id");
            select.bind(1, ToUnixMs(now));
            std::vector<TRingRecord> rings;
            while (select.executeStep())
                rings.push_back(ReadRing(connection, select));
            return rings;
        });
    });
}

std::optional<TRingRecord> TRingRecords::Find(std::int64_t ringId) const {
    return Guarded("reading the ring records", [&] {
        return db_.Read([&](SQLite::Database& connection) -> std::optional<TRingRecord> {
            SQLite::Statement select(connection, std::string(kRingColumns) + " WHERE id = ?");
            select.bind(1, ringId);
            if (!select.executeStep()) return std::nullopt;
            return ReadRing(connection, select);
        });
    });
}

std::int64_t TRingRecords::PruneDoneBefore(TUtcTime cutoff) {
    return Guarded("pruning the ring records", [&] {
        return db_.Write([&](SQLite::Database& connection) {
            SQLite::Statement remove(connection,
                                     "DELETE FROM rings WHERE end_ms < ? AND NOT EXISTS (SELECT 1 "
                                     "FROM ring_horns h WHERE h.ring_id = rings.id AND h.off_ms "
                                     "IS NULL)");
            remove.bind(1, ToUnixMs(cutoff));
            return static_cast<std::int64_t>(remove.exec());
        });
    });
}

}  // namespace kstbell::store
