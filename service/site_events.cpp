#include "service/site_events.h"

#include <cstdio>

#include "service/causes.h"
#include "service/event_text.h"
#include "service/ring_context.h"

namespace kstbell::service {

namespace {

// A ring on this many horns or fewer, not for a group, gets one audit entry per horn.
constexpr std::size_t kHornsListed = 16;

std::string OutcomeText(const TOutcome& outcome) {
    std::string text = OutcomeKindName(outcome.Kind);
    if (!outcome.Message.empty()) text += " (" + outcome.Message + ")";
    return text;
}

bool Missed(const TOutcome& outcome) {
    return !outcome.Ok() && outcome.Kind != TOutcomeKind::Cancelled;
}

// "01.0A", as the command line shows it.
std::string FirmwareHex(const std::optional<site::THornIdentity>& identity) {
    if (!identity) return "?";
    char text[8];
    std::snprintf(text, sizeof text, "%02X.%02X", identity->FirmwareMajor, identity->FirmwareMinor);
    return text;
}

std::string CountText(std::size_t n, const char* one) {
    return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
}

}  // namespace

TSiteEvents::TSiteEvents(const TServiceConfig& config, TAuditWriter& writer,
                         const TRingJournal& journal, const TSiteNames& names)
    : config_(config),
      writer_(writer),
      journal_(journal),
      names_(names),
      unowned_(config.Horns.size()) {}

void TSiteEvents::AddFront(IServiceFront& front) {
    fronts_.push_back(&front);
}

void TSiteEvents::SetInputWatch(TInputWatch& inputs) {
    inputs_ = &inputs;
}

void TSiteEvents::Restored(const std::vector<site::TRingRecord>& running,
                           const std::vector<std::pair<std::uint64_t, std::string>>& alarms) {
    const std::lock_guard lock(m_);
    for (const auto& ring : running) {
        TRingInfo info;
        info.What = "ring taken up after a restart";
        info.Group = ring.Order.Label;
        info.StoreId = static_cast<std::int64_t>(ring.Id);
        rings_[ring.Id] = info;
    }
    for (const auto& [ring, alarm] : alarms) {
        rings_[ring].Alarm = alarm;
        rings_[ring].What = "alarm " + alarm;
        rings_[ring].Group.clear();
        alarms_[alarm].insert(ring);
    }
}

std::vector<std::uint64_t> TSiteEvents::AlarmRings(const std::string& alarm) const {
    const std::lock_guard lock(m_);
    const auto found = alarms_.find(alarm);
    if (found == alarms_.end()) return {};
    return {found->second.begin(), found->second.end()};
}

void TSiteEvents::OnHornEvents(const std::vector<site::THornEvent>& events) {
    const site::TInstant now = std::chrono::system_clock::now();
    for (const auto& e : events)
        HornEvent(e, now);
    for (IServiceFront* front : fronts_)
        front->OnHornEvents(events);
}

void TSiteEvents::HornEvent(const site::THornEvent& e, site::TInstant now) {
    using TKind = site::THornEvent::TKind;
    const std::size_t horn = e.View.Index;
    const std::string who = "horn " + names_.HornText(horn);
    store::TAuditEntry entry;
    entry.At = Utc(now);
    entry.HornAddress = e.View.Address;
    if (e.View.Identity) entry.HornId = MacText(e.View.Identity->Mac);
    switch (e.Kind) {
        case TKind::Identified:
            writer_.Line(who + " identified: MAC " + entry.HornId + ", location \"" +
                         Printable(e.View.Identity ? e.View.Identity->Location : "") +
                         "\", firmware " + FirmwareHex(e.View.Identity));
            break;
        case TKind::Replaced:
            writer_.Line(who + ": another horn answers there now (MAC " +
                         (e.Previous ? MacText(e.Previous->Mac) : std::string("?")) + " before)");
            break;
        case TKind::Unsupported:
            writer_.Line(who + ": a device of model " + std::to_string(e.Model) +
                         " answers there; it is left alone");
            break;
        case TKind::DuplicateMac:
            writer_.Line(who + " reports the MAC " +
                         (e.Previous ? MacText(e.Previous->Mac) : std::string("?")) + " of " +
                         e.OtherAddress + "; it is left alone");
            break;
        case TKind::Online:
            entry.Kind = store::TAuditKind::HornOnline;
            writer_.Append(std::move(entry));
            writer_.Line(who + " online");
            break;
        case TKind::Offline:
            entry.Kind = store::TAuditKind::HornOffline;
            writer_.Append(std::move(entry));
            writer_.Line(who + " offline");
            if (inputs_) inputs_->Lost(horn);
            break;
        case TKind::StateChanged:
            if (inputs_) inputs_->Reading(horn, e.View.State.Input, now);
            if (!e.View.State.Output) {
                const std::lock_guard lock(m_);
                if (horn < unowned_.size()) unowned_[horn] = false;
            }
            break;
        case TKind::CommandDone:
            CommandDone(e, now);
            break;
    }
}

void TSiteEvents::CommandDone(const site::THornEvent& e, site::TInstant now) {
    const site::TCommand& c = e.Command;
    if (c.Kind != site::TCommandKind::Relay || !Missed(e.Outcome)) return;
    const std::string who = "horn " + names_.HornText(e.View.Index);
    if (!c.On) {
        writer_.Line(who + ": switching off failed: " + OutcomeText(e.Outcome) +
                     "; it is told again when it answers");
        return;
    }
    TRingInfo info;
    {
        const std::lock_guard lock(m_);
        const auto found = rings_.find(c.Ring);
        if (found != rings_.end()) info = found->second;
    }
    writer_.Line(who + ": not switched on for " + (info.What.empty() ? "a ring" : info.What) +
                 ": " + OutcomeText(e.Outcome));
    if (info.Bell.empty()) return;
    store::TAuditEntry entry;
    entry.At = Utc(now);
    entry.Kind = store::TAuditKind::BellMissed;
    entry.Cause = store::TAuditCause::Schedule;
    entry.HornAddress = e.View.Address;
    if (e.View.Identity) entry.HornId = MacText(e.View.Identity->Mac);
    entry.Group = info.Group;
    if (info.StoreId) entry.RingId = info.StoreId;
    entry.Detail = info.Bell + ": the horn was not reached: " + OutcomeText(e.Outcome);
    writer_.Append(std::move(entry));
}

void TSiteEvents::OnRingStarted(const site::TRingStart& start) {
    const TRingContext* context = TRingContextScope::Current();
    TRingInfo info;
    if (context) {
        info.Group = context->Group;
        info.Alarm = context->Alarm;
        info.Bell = context->Bell;
    }
    info.StoreId = journal_.StoreId(start.Record.Id);
    info.What = !info.Bell.empty()    ? "bell " + info.Bell
                : !info.Alarm.empty() ? "alarm " + info.Alarm
                                      : "ring";
    // The line and the audit entries wait for the horns' answers (OnRingSwitched), which come
    // on another thread: what the context says is kept for them.
    TStarting starting;
    starting.Start = start;
    starting.Start.Switches.clear();
    starting.Info = info;
    if (context) {
        starting.Scheduled = context->Scheduled;
        starting.Late = context->Late;
    }
    {
        const std::lock_guard lock(m_);
        rings_[start.Record.Id] = info;
        if (!info.Alarm.empty()) alarms_[info.Alarm].insert(start.Record.Id);
        starting_[start.Record.Id] = std::move(starting);
    }
    for (IServiceFront* front : fronts_)
        front->OnRingStarted(start);
}

void TSiteEvents::OnRingSwitched(const site::TRingSwitches& switches) {
    TStarting starting;
    {
        const std::lock_guard lock(m_);
        const auto found = starting_.find(switches.Ring);
        if (found == starting_.end()) return;
        starting = std::move(found->second);
        starting_.erase(found);
    }
    const site::TRingStart& start = starting.Start;
    const TRingInfo& info = starting.Info;
    const site::TRingOrder& order = start.Record.Order;
    const auto duration =
        std::chrono::duration_cast<site::TMillis>(start.Record.End - start.Record.Start);
    const std::string cause = CauseWord(order.Cause);
    const std::string summary = SwitchSummary(switches);

    std::string line = "ring " + std::to_string(info.StoreId) + " started: " + info.What + ", " +
                       cause + (order.Actor.empty() ? "" : " by " + Printable(order.Actor)) + ", " +
                       (info.Group.empty() ? "" : "group " + info.Group + ", ") + "tone " +
                       std::to_string(order.Tone) + ", " + DurationText(duration) +
                       (start.Clamped ? " (cut to the longest ring)" : "") + "; " + summary;
    if (!start.HeldByOthers.empty())
        line += "; " + CountText(start.HeldByOthers.size(), "horn") +
                " kept by rings of higher priority";
    std::string notOn;
    std::size_t listed = 0;
    for (const auto& h : switches.Horns) {
        if (h.State == site::TSwitchOn::On) continue;
        if (listed++ == kHornsListed) {
            notOn += ", ...";
            break;
        }
        notOn += (notOn.empty() ? "" : ", ") + names_.HornText(h.Horn) + " " + SwitchWord(h);
    }
    if (!notOn.empty()) line += "; not switched on: " + notOn;
    if (switches.NoneOn()) line += "; the ring is ended";
    if (!info.Bell.empty()) {
        const auto late = std::chrono::duration_cast<std::chrono::milliseconds>(start.Record.Start -
                                                                                starting.Scheduled);
        line += "; at " + UtcText(start.Record.Start) + ", " + std::to_string(late.count()) +
                " ms after its instant";
    }
    writer_.Line(line);

    store::TAuditEntry entry;
    entry.At = Utc(start.Record.Start);
    entry.Kind = store::TAuditKind::Ring;
    entry.Cause = AuditCause(order.Cause);
    entry.Actor = order.Actor;
    entry.Group = info.Group;
    entry.Alarm = info.Alarm;
    entry.Tone = order.Tone;
    entry.Duration = duration;
    if (info.StoreId) entry.RingId = info.StoreId;
    entry.Detail = info.What + "; " + summary + (start.Clamped ? "; cut to the longest ring" : "");
    if (info.Group.empty() && !switches.Horns.empty() && switches.Horns.size() <= kHornsListed) {
        for (const auto& h : switches.Horns) {
            store::TAuditEntry one = entry;
            one.HornAddress = h.Horn < config_.Horns.size() ? config_.Horns[h.Horn].Address : "";
            one.Detail += "; this horn: " + SwitchWord(h);
            writer_.Append(std::move(one));
        }
    } else {
        writer_.Append(entry);
    }
    if (!info.Bell.empty()) {
        store::TAuditEntry fired = entry;
        fired.Kind = store::TAuditKind::BellFired;
        fired.Detail = info.Bell + "; " + summary;
        if (starting.Late) fired.Detail += "; rung late, within the tolerance";
        writer_.Append(std::move(fired));
    }
    if (!info.Alarm.empty()) {
        store::TAuditEntry alarm = entry;
        alarm.Kind = store::TAuditKind::AlarmStart;
        alarm.Detail = "alarm " + info.Alarm + "; " + summary;
        writer_.Append(std::move(alarm));
        writer_.Line("alarm " + info.Alarm + " started (" + cause +
                     (order.Actor.empty() ? "" : " by " + Printable(order.Actor)) + ")");
    }
}

void TSiteEvents::OnRingEnded(const site::TRingEnd& end, site::TCause cause, site::TInstant when) {
    const TRingContext* context = TRingContextScope::Current();
    const std::string actor = context ? context->Actor : std::string();
    const std::string reason = context && !context->Reason.empty() ? ": " + context->Reason : "";
    TRingInfo info;
    bool alarmOver = false;
    {
        const std::lock_guard lock(m_);
        const auto found = rings_.find(end.Ring);
        if (found != rings_.end()) {
            info = found->second;
            rings_.erase(found);
        }
        if (!info.Alarm.empty()) {
            auto& rings = alarms_[info.Alarm];
            rings.erase(end.Ring);
            alarmOver = rings.empty();
            if (alarmOver) alarms_.erase(info.Alarm);
        }
    }
    if (!info.StoreId) info.StoreId = journal_.StoreId(end.Ring);
    if (info.What.empty()) info.What = "ring";
    const std::string how = end.Stopped ? "stopped (" + CauseWord(cause) +
                                              (actor.empty() ? "" : " by " + Printable(actor)) +
                                              reason + ")"
                                        : "ended";
    writer_.Line("ring " + std::to_string(info.StoreId) + " " + how + ": " + info.What + "; " +
                 CountText(end.Horns.size(), "horn") + " told off");

    store::TAuditEntry entry;
    entry.At = Utc(when);
    entry.Kind = store::TAuditKind::RingEnd;
    entry.Cause = AuditCause(cause);
    entry.Actor = actor;
    entry.Group = info.Group;
    entry.Alarm = info.Alarm;
    if (info.StoreId) entry.RingId = info.StoreId;
    entry.Detail = info.What + "; " +
                   (end.Stopped ? "stopped" + reason + "; " : "ended at its end; ") +
                   CountText(end.Horns.size(), "horn") + " told off";
    writer_.Append(entry);
    if (alarmOver) {
        store::TAuditEntry alarm = entry;
        alarm.Kind = store::TAuditKind::AlarmStop;
        alarm.Detail = "alarm " + info.Alarm + (end.Stopped ? " stopped" : " ran to its end");
        writer_.Append(std::move(alarm));
        writer_.Line("alarm " + info.Alarm + (end.Stopped ? " stopped" : " ran to its end"));
    }
    for (IServiceFront* front : fronts_)
        front->OnRingEnded(end, cause, when);
}

void TSiteEvents::OnUnowned(std::size_t horn, site::TInstant when) {
    {
        const std::lock_guard lock(m_);
        if (horn >= unowned_.size() || unowned_[horn]) return;
        unowned_[horn] = true;
    }
    const std::string who = "horn " + names_.HornText(horn);
    if (!config_.Site.StopUnowned) {
        writer_.Line(who + " sounds with no ring; stop_unowned is off, so it is left on");
        return;
    }
    writer_.Line(who + " found sounding with no ring: switched off");
    store::TAuditEntry entry;
    entry.At = Utc(when);
    entry.Kind = store::TAuditKind::HornStopped;
    entry.HornAddress = config_.Horns[horn].Address;
    entry.Detail = "sounding with no ring: switched off";
    writer_.Append(std::move(entry));
}

}  // namespace kstbell::service
