#include "service/restore.h"

#include <map>

#include "service/causes.h"

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

}  // namespace kstbell::service
