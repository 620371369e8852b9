#include "service/restore.h"

#include <algorithm>
#include <map>

#include "service/causes.h"
#include "service/event_text.h"

namespace kstbell::service {

TRestored Restored(const std::vector<store::TRingRecord>& records, const TServiceConfig& config,
                   site::TInstant now) {
    std::map<std::string, std::size_t> byAddress;
    for (std::size_t i = 0; i < config.Horns.size(); ++i)
        byAddress.emplace(config.Horns[i].Address, i);
    TRestored out;
    for (const auto& record : records) {
        const auto id = static_cast<std::uint64_t>(record.Id);
        std::vector<std::size_t> horns;
        for (const auto& horn : record.Horns) {
            if (horn.OffAt) continue;
            const auto found = byAddress.find(horn.Address);
            if (found == byAddress.end())
                out.Unconfigured.emplace_back(record.Id, horn.Address);
            else
                horns.push_back(found->second);
        }
        const site::TInstant start = record.Start;
        const site::TInstant end = record.End;
        if (end <= now) {
            if (!horns.empty()) out.Ended.push_back({id, false, horns});
            continue;
        }
        site::TRingRecord ring;
        ring.Id = id;
        ring.Start = start;
        ring.End = end;
        const alarms::TAlarm* alarm =
            record.Alarm.empty() ? nullptr : config.FindAlarm(record.Alarm);
        const site::TCause cause = SiteCause(record.Cause);
        if (alarm) {
            ring.Order = alarms::AlarmRing(*alarm, horns, cause, record.Actor);
            out.Alarms.emplace_back(id, alarm->Name);
        } else {
            ring.Order.Horns = horns;
            ring.Order.Tone = static_cast<std::uint8_t>(record.Tone);
            ring.Order.Duration = std::chrono::duration_cast<site::TMillis>(end - start);
            ring.Order.Cause = cause;
            ring.Order.Actor = record.Actor;
            ring.Order.Label = record.Group;
        }
        ring.Order.Priority = record.Priority;
        out.Running.push_back(std::move(ring));
    }
    return out;
}

std::set<std::int64_t> EndsLogged(const store::TAuditLog& log, store::TUtcTime since) {
    std::set<std::int64_t> out;
    store::TAuditQuery query;
    query.Since = since;
    query.Kinds = {store::TAuditKind::RingEnd};
    query.Order = store::TAuditOrder::OldestFirst;
    query.Limit = store::kMaxAuditLimit;
    for (;;) {
        const store::TAuditPage page = log.Query(query);
        for (const auto& e : page.Entries)
            if (e.RingId) out.insert(*e.RingId);
        if (!page.Next) return out;
        query.After = page.Next;
    }
}

TRestoreLog RestoreLog(const std::vector<store::TRingRecord>& records,
                       const std::set<std::int64_t>& endsLogged, const TServiceConfig& config,
                       site::TInstant now) {
    TRestoreLog out;
    const store::TUtcTime at = Utc(now);
    for (const auto& record : records) {
        if (record.End > at) continue;
        const bool whileDown = !endsLogged.count(record.Id);
        const std::string why = whileDown ? "its ring ended while the service was not running"
                                          : "its ring had ended, and the horn was not seen off "
                                            "before the service stopped";
        store::TAuditEntry entry;
        entry.At = at;
        entry.Cause = store::TAuditCause::Service;
        entry.Group = record.Group;
        entry.Alarm = record.Alarm;
        entry.RingId = record.Id;
        std::size_t told = 0;
        for (const auto& horn : record.Horns) {
            const bool configured =
                std::any_of(config.Horns.begin(), config.Horns.end(),
                            [&](const auto& h) { return h.Address == horn.Address; });
            if (horn.OffAt || !configured) continue;
            ++told;
            store::TAuditEntry off = entry;
            off.Kind = store::TAuditKind::HornStopped;
            off.HornAddress = horn.Address;
            off.HornId = horn.Id;
            off.Detail = "told off at the start: " + why;
            out.Entries.push_back(std::move(off));
        }
        const std::string horns = std::to_string(told) + (told == 1 ? " horn" : " horns");
        const std::string ring = "ring " + std::to_string(record.Id);
        if (whileDown) {
            entry.Kind = store::TAuditKind::RingEnd;
            entry.Detail = "ended at " + store::FormatUtc(record.End) +
                           " while the service was not running; " + horns +
                           " told off at the start";
            out.Entries.insert(out.Entries.end() - static_cast<std::ptrdiff_t>(told), entry);
            out.Lines.push_back(ring + " ended at " + store::FormatUtc(record.End) +
                                " while the service was not running: " + horns + " told off now");
        } else if (told > 0) {
            out.Lines.push_back(ring + ": " + horns +
                                " not seen off before the stop, told off now");
        }
    }
    return out;
}

}  // namespace kstbell::service
