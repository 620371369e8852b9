#include "service/ring_journal.h"

#include <chrono>

#include "service/causes.h"
#include "service/event_text.h"
#include "service/ring_context.h"
#include "store/store_error.h"

namespace kstbell::service {

namespace {

// How long a ring's id stays known after it is done with, for late questions about it.
constexpr auto kKeepDone = std::chrono::minutes(10);

}  // namespace

TRingJournal::TRingJournal(store::TRingRecords& rings, std::vector<std::string> addresses,
                           std::function<std::string(std::size_t)> hornId, TLog log)
    : rings_(rings),
      addresses_(std::move(addresses)),
      hornId_(std::move(hornId)),
      log_(std::move(log)) {}

store::TRingRecord TRingJournal::StoreRecord(const site::TRingOrder& order, site::TInstant start,
                                             site::TInstant end, const std::string& group,
                                             const std::string& alarm) const {
    store::TRingRecord r;
    for (std::size_t h : order.Horns) {
        if (h >= addresses_.size()) continue;
        r.Horns.push_back({addresses_[h], hornId_ ? hornId_(h) : std::string(), {}});
    }
    r.Tone = order.Tone;
    r.Priority = order.Priority;
    r.Start = Utc(start);
    r.End = Utc(end);
    r.Cause = AuditCause(order.Cause);
    r.Actor = order.Actor;
    r.Group = group;
    r.Alarm = alarm;
    return r;
}

void TRingJournal::Forget(site::TInstant now) {
    for (auto it = known_.begin(); it != known_.end();) {
        const bool done = it->second.Ended && it->second.Pending == 0;
        it = done && now - it->second.Done > kKeepDone ? known_.erase(it) : std::next(it);
    }
}

bool TRingJournal::Record(const site::TRingRecord& ring) {
    const TRingContext* context = TRingContextScope::Current();
    std::int64_t id = context ? context->Prepared : 0;
    try {
        if (id != 0) {
            // Made ahead for the bell's instant; a ring that starts early ends early.
            const auto stored = rings_.Find(id);
            if (!stored) {
                id = 0;
            } else if (Utc(ring.End) < stored->End) {
                rings_.SetEnd(id, Utc(ring.End));
            }
        }
        if (id == 0) {
            id = rings_.Record(StoreRecord(ring.Order, ring.Start, ring.End,
                                           context ? context->Group : std::string(),
                                           context ? context->Alarm : std::string()));
        }
    } catch (const store::TStoreError& e) {
        log_("ring not started: it could not be recorded: " + std::string(e.what()));
        return false;
    }
    const std::lock_guard lock(m_);
    Forget(ring.Start);
    known_[ring.Id] = {id, 0, false, {}};
    return true;
}

void TRingJournal::Ended(const site::TRingEnd& end, site::TInstant when) {
    std::int64_t id = 0;
    {
        const std::lock_guard lock(m_);
        const auto found = known_.find(end.Ring);
        if (found == known_.end()) return;
        TKnown& k = found->second;
        k.Ended = true;
        k.Pending = end.Horns.size();
        k.Done = when;
        id = k.StoreId;
    }
    const TRingContext* context = TRingContextScope::Current();
    if (!end.Stopped || (context && context->EndedAll)) return;
    try {
        rings_.SetEnd(id, Utc(when));
    } catch (const store::TStoreError& e) {
        log_("the early end of ring " + std::to_string(id) +
             " could not be recorded: " + std::string(e.what()));
    }
}

void TRingJournal::ConfirmedOff(std::uint64_t ring, std::size_t horn, site::TInstant when) {
    {
        const std::lock_guard lock(m_);
        const auto found = known_.find(ring);
        if (found != known_.end() && found->second.Pending > 0) {
            if (--found->second.Pending == 0) found->second.Done = when;
        }
    }
    if (horn >= addresses_.size()) return;
    try {
        rings_.MarkHornOffInEndedRings(addresses_[horn], Utc(when));
    } catch (const store::TStoreError& e) {
        log_("horn " + addresses_[horn] +
             " seen off, but that could not be recorded: " + std::string(e.what()));
    }
}

std::int64_t TRingJournal::Prepare(const site::TRingOrder& order, site::TInstant start,
                                   site::TInstant end, const std::string& group) {
    try {
        return rings_.Record(StoreRecord(order, start, end, group, {}));
    } catch (const store::TStoreError& e) {
        log_("a bell's ring could not be recorded ahead: " + std::string(e.what()));
        return 0;
    }
}

void TRingJournal::Withdraw(std::int64_t prepared, site::TInstant now) {
    if (prepared == 0) return;
    try {
        const auto stored = rings_.Find(prepared);
        if (!stored) return;
        rings_.SetEnd(prepared, std::min(stored->End, Utc(now)));
        for (const auto& horn : stored->Horns)
            rings_.MarkHornOff(prepared, horn.Address, Utc(now));
    } catch (const store::TStoreError& e) {
        log_("a ring recorded ahead could not be withdrawn: " + std::string(e.what()));
    }
}

void TRingJournal::Adopt(std::uint64_t ring, bool ended, std::size_t pending) {
    const std::lock_guard lock(m_);
    known_[ring] = {static_cast<std::int64_t>(ring), pending, ended, {}};
}

std::int64_t TRingJournal::StoreId(std::uint64_t ring) const {
    const std::lock_guard lock(m_);
    const auto found = known_.find(ring);
    return found == known_.end() ? 0 : found->second.StoreId;
}

}  // namespace kstbell::service
