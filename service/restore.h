#pragma once

// After a restart: the rings the database holds, as the site takes them up. Horns are found by
// address; a horn no longer configured is left out and reported, so that its record can be
// marked off. An alarm's ring gets its pattern back from the alarm of that name.

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "service/service_config.h"
#include "site/ring_book.h"
#include "store/audit_log.h"
#include "store/ring_records.h"

namespace kstbell::service {

struct TRestored {
    std::vector<site::TRingRecord> Running;
    std::vector<site::TRingEnd> Ended;  // ended, with horns not yet seen off
    // Horns of those rings that are no longer configured: (ring, address).
    std::vector<std::pair<std::int64_t, std::string>> Unconfigured;
    // The alarm of each running ring that belongs to one: (ring, alarm name).
    std::vector<std::pair<std::uint64_t, std::string>> Alarms;
};

TRestored Restored(const std::vector<store::TRingRecord>& records, const TServiceConfig& config,
                   site::TInstant now);

// The rings whose end the audit log holds, among the entries from since on.
std::set<std::int64_t> EndsLogged(const store::TAuditLog& log, store::TUtcTime since);

// What a start says of the rings it finds ended: a ring_end for each that ended while the service
// was not running (none is logged for it), and for each configured horn told off for them a
// horn_stopped, with lines for people.
struct TRestoreLog {
    std::vector<store::TAuditEntry> Entries;
    std::vector<std::string> Lines;
};
TRestoreLog RestoreLog(const std::vector<store::TRingRecord>& records,
                       const std::set<std::int64_t>& endsLogged, const TServiceConfig& config,
                       site::TInstant now);

}  // namespace kstbell::service
