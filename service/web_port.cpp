#include "service/web_port.h"

#include <algorithm>
#include <set>

#include "kstbell_version.h"
#include "service/causes.h"
#include "service/ring_context.h"
#include "service/service.h"
#include "service/web_values.h"

namespace kstbell::service {

namespace {

users::TSessionPolicy SessionPolicy(std::chrono::seconds idle) {
    users::TSessionPolicy policy;
    policy.Idle = idle;
    // However busy, a session ends a day after the login (or after its idle time, if longer).
    policy.Lifetime = std::max<std::chrono::seconds>(policy.Lifetime, idle);
    return policy;
}

std::string CauseLabel(site::TCause cause) {
    return std::string(store::CauseName(AuditCause(cause)));
}

}  // namespace

TWebPort::TWebPort(TService& service, std::chrono::seconds sessionIdle)
    : service_(service),
      auth_(service.Store(), SessionPolicy(sessionIdle)),
      started_(std::chrono::system_clock::now()) {
    TakeNames();
}

// ---- Events ------------------------------------------------------------------------------

void TWebPort::Publish(const web::TWebEvent& event) {
    if (sink_) sink_->Publish(event);
}

void TWebPort::OnHornEvents(const std::vector<site::THornEvent>& events) {
    using TKind = site::THornEvent::TKind;
    // Every poll reports, mostly nothing: only a change of a horn moves the version.
    const auto shown = [](const site::THornEvent& e) {
        return e.Kind != TKind::CommandDone && e.Kind != TKind::Unsupported &&
               e.Kind != TKind::DuplicateMac;
    };
    const bool changed = std::any_of(events.begin(), events.end(),
                                     [](const auto& e) { return e.Kind != TKind::CommandDone; });
    if (!changed) return;
    ++hornsVersion_;
    const std::lock_guard lock(m_);
    for (const auto& e : events) {
        if (!shown(e)) continue;
        const auto held = held_.find(e.View.Index);
        const auto ring =
            held == held_.end() ? std::optional<web::TRingRef>() : std::optional(held->second);
        if (e.Kind == TKind::Online || e.Kind == TKind::Offline)
            Publish(web::TPresenceEvent{e.View.Address, e.Kind == TKind::Online,
                                        std::chrono::system_clock::now()});
        Publish(HornInfo(e.View, ring));
    }
}

void TWebPort::OnRingStarted(const site::TRingStart& start) {
    ++hornsVersion_;
    const TRingContext* context = TRingContextScope::Current();
    const auto& order = start.Record.Order;
    const auto& horns = service_.Config().Horns;
    web::TRingInfo ring;
    ring.Id = static_cast<std::uint64_t>(service_.StoreRingId(start.Record.Id));
    ring.Start = start.Record.Start;
    ring.End = start.Record.End;
    ring.Clamped = start.Clamped;
    for (std::size_t h : start.Taken)
        if (h < horns.size()) ring.Horns.push_back(horns[h].Address);
    for (std::size_t h : start.HeldByOthers)
        if (h < horns.size()) ring.HeldByOthers.push_back(horns[h].Address);
    ring.Tone = order.Tone;
    ring.Priority = order.Priority;
    ring.Cause = WebCause(order.Cause);
    ring.Actor = order.Actor;
    ring.Label = order.Label;

    const std::lock_guard lock(m_);
    ++rings_[CauseLabel(order.Cause)];
    storeIdOfRing_[start.Record.Id] = static_cast<std::int64_t>(ring.Id);
    const web::TRingRef ref{ring.Id, ring.End, ring.Cause, ring.Actor, ring.Label};
    for (std::size_t h : start.Taken)
        held_[h] = ref;
    Publish(ring);
    if (context && !context->Alarm.empty()) {
        ++alarms_[CauseLabel(order.Cause)];
        alarmOfRing_[start.Record.Id] = context->Alarm;
        if (const auto* alarm = service_.Config().FindAlarm(context->Alarm))
            Publish(web::TAlarmInfo{alarm->Name, alarm->Label, alarm->Priority, true, ref});
    }
    if (context && !context->Bell.empty()) {
        ++bellsFired_;
        // The bell as the calendar has it: the one of this group at this instant.
        const auto at = std::chrono::floor<std::chrono::seconds>(context->Scheduled);
        for (const auto& bell : service_.Calendar()->Bells(at, at + std::chrono::seconds(1))) {
            if (bell.Bell.Group != context->Group) continue;
            Publish(web::TBellEvent{BellInfo(bell), false, {}});
            break;
        }
    }
}

void TWebPort::OnRingEnded(const site::TRingEnd& end, site::TCause cause, site::TInstant when) {
    ++hornsVersion_;
    const auto& horns = service_.Config().Horns;
    const std::lock_guard lock(m_);
    const auto known = storeIdOfRing_.find(end.Ring);
    const std::int64_t id =
        known != storeIdOfRing_.end() ? known->second : service_.StoreRingId(end.Ring);
    if (known != storeIdOfRing_.end()) storeIdOfRing_.erase(known);
    web::TRingEndInfo info;
    info.Id = static_cast<std::uint64_t>(id);
    info.Stopped = end.Stopped;
    info.Cause = WebCause(cause);
    info.At = when;
    for (std::size_t h : end.Horns) {
        if (h < horns.size()) info.Horns.push_back(horns[h].Address);
        const auto held = held_.find(h);
        if (held != held_.end() && held->second.Id == info.Id) held_.erase(held);
    }
    Publish(info);
    const auto alarm = alarmOfRing_.find(end.Ring);
    if (alarm == alarmOfRing_.end()) return;
    const std::string name = alarm->second;
    alarmOfRing_.erase(alarm);
    const bool still = std::any_of(alarmOfRing_.begin(), alarmOfRing_.end(),
                                   [&](const auto& r) { return r.second == name; });
    if (still) return;
    if (const auto* config = service_.Config().FindAlarm(name))
        Publish(web::TAlarmInfo{config->Name, config->Label, config->Priority, false, {}});
}

void TWebPort::OnBellMissed(const calendar::TScheduledBell& bell, const std::string& reason) {
    const std::lock_guard lock(m_);
    ++bellsMissed_;
    Publish(web::TBellEvent{BellInfo(bell), true, reason});
}

void TWebPort::Subscribe(web::IWebEventSink* sink) {
    const std::lock_guard lock(m_);
    sink_ = sink;
}

// ---- The site ----------------------------------------------------------------------------

web::THornInfo TWebPort::HornInfo(const site::THornView& view,
                                  std::optional<web::TRingRef> ring) const {
    web::THornInfo out;
    out.Address = view.Address;
    out.Name = view.Name;
    {
        const std::lock_guard lock(namesMutex_);
        if (view.Index < hornNames_.size()) out.Name = hornNames_[view.Index];
        if (view.Index < hornGroups_.size()) out.Groups = hornGroups_[view.Index];
    }
    if (view.Identity) {
        out.Id = MacText(view.Identity->Mac);
        out.Location = view.Identity->Location;
        out.Firmware = FirmwareText(view.Identity);
    }
    out.Presence = WebPresence(view.Presence);
    out.Output = view.State.Output;
    out.Input = view.State.Input;
    out.Armed = view.State.Armed;
    out.RssiDbm = view.State.RssiDbm;
    out.Tone = view.State.Tone;
    out.Ring = ring;
    return out;
}

std::optional<std::size_t> TWebPort::HornIndex(const std::string& address) const {
    const auto& horns = service_.Config().Horns;
    for (std::size_t h = 0; h < horns.size(); ++h)
        if (horns[h].Address == address) return h;
    return std::nullopt;
}

web::TRingRef TWebPort::RingRef(const site::TRingRecord& record) const {
    return {static_cast<std::uint64_t>(service_.StoreRingId(record.Id)), record.End,
            WebCause(record.Order.Cause), record.Order.Actor, record.Order.Label};
}

web::THealth TWebPort::Health() {
    web::THealth health;
    health.Ready = ready_;
    health.Site = service_.Config().Site.Name;
    health.Version = KSTBELL_VERSION;
    const auto views = service_.Site().Registry().Snapshot();
    health.HornsTotal = views.size();
    health.HornsOnline = static_cast<std::size_t>(std::count_if(
        views.begin(), views.end(), [](const auto& v) { return v.Presence == TPresence::Online; }));
    health.Uptime =
        std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now() - started_);
    health.HornsOffline =
        static_cast<std::size_t>(std::count_if(views.begin(), views.end(), [](const auto& v) {
            return v.Presence == TPresence::Offline;
        }));
    health.Problems = service_.Store().Problems();
    // Bells that will stop within the calendar's look ahead because the zone's times end.
    const auto limit = service_.Calendar()->NextLimit(
        std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    if (!limit.empty()) health.Problems.push_back("calendar: " + limit);
    return health;
}

std::vector<web::THornInfo> TWebPort::Horns() {
    site::TSite& site = service_.Site();
    const auto holders = site.Holders();
    std::map<std::uint64_t, web::TRingRef> rings;
    for (const auto& record : site.ActiveRings())
        rings[record.Id] = RingRef(record);
    std::vector<web::THornInfo> out;
    for (const auto& view : site.Registry().Snapshot()) {
        std::optional<web::TRingRef> ring;
        if (view.Index < holders.size()) {
            const auto found = rings.find(holders[view.Index]);
            if (found != rings.end()) ring = found->second;
        }
        out.push_back(HornInfo(view, ring));
    }
    return out;
}

std::optional<web::THornInfo> TWebPort::Horn(const std::string& address) {
    const auto index = HornIndex(address);
    if (!index) return std::nullopt;
    site::TSite& site = service_.Site();
    const auto holders = site.Holders();
    std::optional<web::TRingRef> ring;
    if (*index < holders.size() && holders[*index] != 0) ring = ActiveRingRef(holders[*index]);
    return HornInfo(site.Registry().View(*index), ring);
}

std::optional<web::TRingRef> TWebPort::ActiveRingRef(std::uint64_t ring) const {
    for (const auto& record : service_.Site().ActiveRings())
        if (record.Id == ring) return RingRef(record);
    return std::nullopt;
}

web::TPortStatus TWebPort::StopHorn(const std::string& address, const web::TCaller& caller) {
    const auto index = HornIndex(address);
    if (!index) return web::Fail(web::TErrorKind::NotFound, "no horn at " + address);
    service_.StopHorn(*index, site::TCause::Http, caller.Actor(), {});
    return std::nullopt;
}

std::vector<web::TGroupInfo> TWebPort::Groups() {
    std::vector<web::TGroupInfo> out;
    const auto& config = service_.Config();
    for (const auto& group : service_.Names().Groups()) {
        web::TGroupInfo info{group.Name, {}};
        for (std::size_t h : group.Horns)
            info.Horns.push_back(config.Horns[h].Address);
        out.push_back(std::move(info));
    }
    return out;
}

web::TPortResult<web::TRingInfo> TWebPort::Ring(const web::TRingAsk& ask,
                                                const web::TCaller& caller) {
    site::TRingRequest request;
    if (!ask.Group.empty()) {
        if (!service_.Names().HasGroup(ask.Group))
            return web::Fail(web::TErrorKind::NotFound, "no group named '" + ask.Group + "'");
        request.Group = ask.Group;
    }
    for (const auto& address : ask.Horns) {
        const auto index = HornIndex(address);
        if (!index) return web::Fail(web::TErrorKind::NotFound, "no horn at " + address);
        request.Horns.push_back(*index);
    }
    if (ask.Tone < 0 || ask.Tone > 3)
        return web::Fail(web::TErrorKind::InvalidInput, "'tone' must be 0 to 3");
    request.Tone = static_cast<std::uint8_t>(ask.Tone);
    request.Duration = ask.Duration;
    request.Cause = site::TCause::Http;
    request.Actor = caller.Actor();
    request.AwaitSwitches = true;
    const site::TRingAnswer answer = service_.Ring(request);
    if (!answer.Started) {
        const bool notRecorded = answer.Refusal.find("recorded") != std::string::npos;
        return web::Fail(notRecorded ? web::TErrorKind::Internal : web::TErrorKind::InvalidInput,
                         answer.Refusal);
    }
    const auto& horns = service_.Config().Horns;
    const auto& record = answer.Start.Record;
    web::TRingInfo ring;
    ring.Id = static_cast<std::uint64_t>(service_.StoreRingId(record.Id));
    ring.Start = record.Start;
    ring.End = record.End;
    ring.Clamped = answer.Start.Clamped;
    for (std::size_t h : answer.Start.Taken)
        ring.Horns.push_back(horns[h].Address);
    for (std::size_t h : answer.Start.HeldByOthers)
        ring.HeldByOthers.push_back(horns[h].Address);
    ring.Tone = record.Order.Tone;
    ring.Priority = record.Order.Priority;
    ring.Cause = web::TCause::Http;
    ring.Actor = record.Order.Actor;
    ring.Label = record.Order.Label;
    ring.SwitchesKnown = true;
    for (const auto& h : answer.Switches.Horns) {
        const std::string& address = horns[h.Horn].Address;
        switch (h.State) {
            case site::TSwitchOn::On:
                ring.SwitchedOn.push_back(address);
                break;
            case site::TSwitchOn::Pending:
                ring.Pending.push_back(address);
                break;
            case site::TSwitchOn::Offline:
                ring.NotSwitchedOn.push_back({address, "offline", "the horn is offline"});
                break;
            case site::TSwitchOn::Failed:
                ring.NotSwitchedOn.push_back(
                    {address, OutcomeKindName(h.Outcome.Kind), h.Outcome.Message});
                break;
        }
    }
    return ring;
}

std::optional<web::TStopAllCounts> TWebPort::StopAllCounted(const web::TCaller& caller) {
    web::TStopAllCounts counts;
    std::set<std::uint64_t> alarmRings;
    for (const auto& alarm : service_.Config().Alarms) {
        const auto rings = service_.AlarmRings(alarm.Name);
        if (rings.empty()) continue;
        ++counts.Alarms;
        alarmRings.insert(rings.begin(), rings.end());
    }
    std::set<std::uint64_t> holding;
    for (std::uint64_t ring : service_.Site().Holders())
        if (ring != 0 && !alarmRings.contains(ring)) holding.insert(ring);
    counts.Rings = holding.size();
    StopAll(caller);
    return counts;
}

void TWebPort::StopAll(const web::TCaller& caller) {
    service_.StopAll(site::TCause::Http, caller.Actor());
    const std::lock_guard lock(m_);
    Publish(
        web::TStopAllEvent{caller.Actor(), web::TCause::Http, std::chrono::system_clock::now()});
}

web::TAlarmInfo TWebPort::AlarmInfo(const std::string& name) const {
    web::TAlarmInfo info;
    const auto* alarm = service_.Config().FindAlarm(name);
    if (!alarm) return info;
    info.Name = alarm->Name;
    info.Label = alarm->Label;
    info.Priority = alarm->Priority;
    const auto rings = service_.AlarmRings(name);
    info.Sounding = !rings.empty();
    for (std::uint64_t ring : rings) {
        if (auto ref = ActiveRingRef(ring)) {
            info.Ring = ref;
            break;
        }
    }
    return info;
}

std::vector<web::TAlarmInfo> TWebPort::Alarms() {
    std::vector<web::TAlarmInfo> out;
    for (const auto& alarm : service_.Config().Alarms)
        out.push_back(AlarmInfo(alarm.Name));
    return out;
}

web::TPortResult<web::TAlarmInfo> TWebPort::StartAlarm(const std::string& name,
                                                       const web::TCaller& caller) {
    if (!service_.Config().FindAlarm(name))
        return web::Fail(web::TErrorKind::NotFound, "no alarm named '" + name + "'");
    const site::TAlarmAnswer answer = service_.StartAlarm(name, site::TCause::Http, caller.Actor());
    if (!answer.Ok) return web::Fail(web::TErrorKind::Internal, answer.Refusal);
    return AlarmInfo(name);
}

web::TPortStatus TWebPort::StopAlarm(const std::string& name, const web::TCaller& caller) {
    if (!service_.Config().FindAlarm(name))
        return web::Fail(web::TErrorKind::NotFound, "no alarm named '" + name + "'");
    if (!service_.StopAlarm(name, site::TCause::Http, caller.Actor()))
        return web::Fail(web::TErrorKind::Conflict, "alarm " + name + " is not sounding");
    return std::nullopt;
}

// ---- Monitoring --------------------------------------------------------------------------

web::TMetrics TWebPort::Metrics() {
    web::TMetrics out;
    const site::TPollSnapshot polls = service_.Site().Polls();
    for (const auto& view : service_.Site().Registry().Snapshot()) {
        web::THornMetrics horn;
        horn.Address = view.Address;
        horn.Name = service_.Names().Name(view.Index);
        if (view.Identity) horn.Id = MacText(view.Identity->Mac);
        horn.Up = view.Presence == TPresence::Online;
        horn.Output = view.State.Output;
        horn.Input = view.State.Input;
        horn.RssiDbm = view.State.RssiDbm;
        if (view.Index < polls.LastAnswered.size()) horn.LastPoll = polls.LastAnswered[view.Index];
        out.Horns.push_back(std::move(horn));
    }
    out.PollSeconds.Bounds = polls.Bounds;
    out.PollSeconds.Counts = polls.Counts;
    out.PollSeconds.Sum = polls.SumSeconds;
    const std::lock_guard lock(m_);
    out.RingsByCause.assign(rings_.begin(), rings_.end());
    out.AlarmsByCause.assign(alarms_.begin(), alarms_.end());
    out.BellsFired = bellsFired_;
    out.BellsMissed = bellsMissed_;
    out.AuditLost = service_.AuditLost();
    return out;
}

}  // namespace kstbell::service
