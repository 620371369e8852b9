#pragma once

// The site's rings kept in the service's database, so that a restarted service ends what a
// ring left on. A ring is recorded (and flushed to the disk) before any horn is switched on for
// it; an early end is recorded as flushed too; a horn seen off after its ring ended is marked
// off in every ring that had ended by then.
//
// The site numbers its rings itself; the database gives them ids of its own. Rings taken up
// after a restart keep the database's id in the site too. A scheduled bell's record can be made
// ahead of its instant, so that its horns switch at the instant rather than after the flush.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "service/log_sink.h"
#include "site/site.h"
#include "store/ring_records.h"

namespace kstbell::service {

class TRingJournal final : public site::IRingJournal {
  public:
    // addresses: the horns' addresses by index; hornId: a horn's identity (MAC) when known.
    TRingJournal(store::TRingRecords& rings, std::vector<std::string> addresses,
                 std::function<std::string(std::size_t)> hornId, TLog log);

    bool Record(const site::TRingRecord& ring) override;
    void Ended(const site::TRingEnd& end, site::TInstant when) override;
    void ConfirmedOff(std::uint64_t ring, std::size_t horn, site::TInstant when) override;

    // Records a ring ahead of its start (see TRingContext::Prepared): the record's id, or 0
    // when it could not be stored.
    std::int64_t Prepare(const site::TRingOrder& order, site::TInstant start, site::TInstant end,
                         const std::string& group);
    // A record made ahead that no ring took: ended, its horns marked off.
    void Withdraw(std::int64_t prepared, site::TInstant now);
    // A ring taken up after a restart, under the database's id: running, or ended with pending
    // horns still to be seen off.
    void Adopt(std::uint64_t ring, bool ended, std::size_t pending);

    // The database's id of a site's ring, 0 when not known.
    std::int64_t StoreId(std::uint64_t ring) const;

  private:
    struct TKnown {
        std::int64_t StoreId = 0;
        std::size_t Pending = 0;  // horns still to be seen off after its end
        bool Ended = false;
        site::TInstant Done{};  // when it was ended and every horn seen off
    };

    store::TRingRecord StoreRecord(const site::TRingOrder& order, site::TInstant start,
                                   site::TInstant end, const std::string& group,
                                   const std::string& alarm) const;
    void Forget(site::TInstant now);

    store::TRingRecords& rings_;
    std::vector<std::string> addresses_;
    std::function<std::string(std::size_t)> hornId_;
    TLog log_;
    mutable std::mutex m_;
    std::map<std::uint64_t, TKnown> known_;
};

}  // namespace kstbell::service
