#pragma once

// The ring records that make every ring end, whatever happens to the service. Before the
// service switches a horn on it records the ring with its end; when a horn's relay is
// confirmed off (or the horn is handed over to another recorded ring) it marks that horn off
// in the ring. A service that starts again reads the rings not yet done with and switches
// their horns off.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/audit_entry.h"
#include "store/utc_time.h"

namespace kstbell::store {

class TDatabase;

struct TRingHorn {
    std::string Address{};  // the horn's address as the service reaches it: the record's key
    std::string Id{};       // its identity (MAC) when known, to find it at another address
    std::optional<TUtcTime> OffAt{};  // when it was confirmed off; nothing while it may sound

    bool operator==(const TRingHorn&) const = default;
};

struct TRingRecord {
    std::int64_t Id = 0;  // given when recorded
    std::vector<TRingHorn> Horns{};
    int Tone = 0;
    int Priority = 0;
    TUtcTime Start{};
    TUtcTime End{};
    TAuditCause Cause = TAuditCause::Service;
    std::string Actor{};
    std::string Group{};  // the group it was rung for, if any
    std::string Alarm{};  // the alarm it belongs to, if any

    bool operator==(const TRingRecord&) const = default;
};

class TRingRecords {
  public:
    explicit TRingRecords(TDatabase& db) : db_(db) {}

    // Records the ring (its Id and the horns' OffAt are not used) and returns its id. The
    // record is on the disk when this returns, so the horns may be switched on. A horn
    // listed twice is recorded once. Throws TStoreError.
    std::int64_t Record(const TRingRecord& ring);

    // The ring ends at end instead (stopped early, preempted, an ON followed by its OFF).
    // False when there is no such ring.
    bool SetEnd(std::int64_t ringId, TUtcTime end);

    // Every ring still running at `at` ends then ("stop all"); returns how many.
    int EndAll(TUtcTime at);

    // The horn is off for this ring: its relay was confirmed off, or another recorded ring
    // holds it now. The first time counts; false when the ring does not hold that horn.
    bool MarkHornOff(std::int64_t ringId, const std::string& address, TUtcTime at);

    // The horn's relay was confirmed off at `at`: marks it off in every ring that had ended
    // by then. Returns how many rings that touched.
    int MarkHornOffInEndedRings(const std::string& address, TUtcTime at);

    // What a starting service must deal with: rings still running at now, and rings that have
    // ended but still have a horn not confirmed off. Oldest first, horns by address.
    std::vector<TRingRecord> Unfinished(TUtcTime now) const;

    // One ring by id.
    std::optional<TRingRecord> Find(std::int64_t ringId) const;

    // Removes rings that ended before cutoff with every horn confirmed off; returns how many.
    std::int64_t PruneDoneBefore(TUtcTime cutoff);

  private:
    TDatabase& db_;
};

}  // namespace kstbell::store
