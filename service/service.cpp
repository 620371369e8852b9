#include "service/service.h"

#include <unistd.h>

#include "calendar/clock_text.h"
#include "kstbell_version.h"
#include "platform/backends.h"
#include "service/causes.h"
#include "service/event_text.h"
#include "service/restore.h"
#include "service/ring_context.h"
#include "service/timetable_document.h"
#include "store/store_error.h"

namespace kstbell::service {

namespace {

site::TSiteConfig SiteConfig(const TServiceConfig& c) {
    site::TSiteConfig s;
    for (const auto& h : c.Horns)
        s.Horns.push_back({h.Address, h.Name});
    s.Sessions.Parallel = c.Bridge.Parallel;
    s.Sessions.Port = c.Bridge.DevicePort;
    s.Sessions.ConnectTimeoutMs = c.Bridge.ConnectTimeoutMs;
    s.Sessions.ReplyWaitMs = c.Bridge.ReplyWaitMs;
    s.Registry.InfoEveryPolls = c.Bridge.InfoEveryPolls;
    s.PollPeriod = std::chrono::milliseconds(c.Bridge.PollPeriodMs);
    s.Rings.MaxRing = c.Site.MaxRing;
    s.Rings.StopUnowned = c.Site.StopUnowned;
    return s;
}

std::string BellLabel(const calendar::TScheduledBell& bell) {
    return bell.Plan + " " + calendar::FormatTimeOfDay(bell.Bell.Time) +
           (bell.Moved ? " (moved by a clock change)" : "");
}

std::string Who(site::TCause cause, const std::string& actor) {
    return CauseWord(cause) + (actor.empty() ? "" : " by " + Printable(actor));
}

}  // namespace

TService::TService(TServiceConfig config, TServiceOptions options)
    : config_(std::move(config)),
      options_(std::move(options)),
      store_(std::make_unique<store::TStore>(options_.StateDir)),
      writer_(std::make_unique<TAuditWriter>(*store_, config_.Site.LogDays, options_.Log)),
      names_(std::make_unique<TSiteNames>(
          config_, options_.SiteNamesStore ? *options_.SiteNamesStore : store_->SiteNames())),
      calendar_(config_.Calendar.Zone, config_.Calendar.Schedule) {
    timetable_.Source =
        config_.Calendar.ScheduleGiven ? ETimetableSource::File : ETimetableSource::Database;
    timetable_.Timetable = calendar::TimetableOf(config_.Calendar.Schedule);
    store_->SetProblemLog(options_.Log);
    std::vector<std::string> addresses;
    for (const auto& h : config_.Horns)
        addresses.push_back(h.Address);
    journal_ = std::make_unique<TRingJournal>(
        store_->Rings(), addresses,
        [this](std::size_t horn) {
            const auto view = site_->Registry().View(horn);
            return view.Identity ? MacText(view.Identity->Mac) : std::string();
        },
        options_.Log);
    // The names kept in the database are taken up before the site is made, so that its horns
    // (and the MQTT front's discovery) carry them from the start.
    namesLeftOut_ = names_->Load();
    events_ = std::make_unique<TSiteEvents>(config_, *writer_, *journal_, *names_);
    IHostNetworkSource* network = options_.Network;
    if (!network) {
        ownNetwork_ = MakeHostNetworkSource();
        network = ownNetwork_.get();
    }
    site_ = std::make_unique<site::TSite>(SiteConfig(NamedConfig()), *network, journal_.get(),
                                          *events_);
    inputs_ = std::make_unique<TInputWatch>(
        config_.Inputs, [this](std::size_t horn, const std::string& alarm) {
            writer_->Line("horn " + names_->HornText(horn) + ": its input starts alarm " + alarm);
            const auto answer = StartAlarm(alarm, site::TCause::Input, names_->HornText(horn));
            if (!answer.Ok) writer_->Line("alarm " + alarm + " not started: " + answer.Refusal);
        });
    events_->SetInputWatch(*inputs_);
    scheduler_ = std::make_unique<TScheduler>(
        [this] { return calendar_.Current(); }, config_.Calendar.LateTolerance, store_->State(),
        static_cast<IBellRinger&>(*this), clock_, options_.Log);
}

TService::~TService() {
    Stop();
}

void TService::Audit(store::TAuditEntry entry) {
    writer_->Append(std::move(entry));
}

void TService::Restore(site::TInstant now) {
    const auto records = store_->Rings().Unfinished(Utc(now));
    const TRestored restored = Restored(records, config_, now);
    // Rings that ended while nobody watched get their end logged now, and every horn told off
    // for an ended ring is logged.
    std::optional<store::TUtcTime> oldest;
    for (const auto& record : records)
        if (record.End <= Utc(now) && (!oldest || record.Start < *oldest)) oldest = record.Start;
    if (oldest) {
        const TRestoreLog log =
            RestoreLog(records, EndsLogged(store_->Log(), *oldest), config_, now);
        for (const auto& entry : log.Entries)
            Audit(entry);
        for (const auto& line : log.Lines)
            writer_->Line(line);
    }
    for (const auto& [ring, address] : restored.Unconfigured) {
        store_->Rings().MarkHornOff(ring, address, Utc(now));
        writer_->Line("ring " + std::to_string(ring) + ": horn " + address +
                      " is no longer configured; it is left out");
    }
    for (const auto& ring : restored.Running)
        journal_->Adopt(ring.Id, false, 0);
    for (const auto& ring : restored.Ended)
        journal_->Adopt(ring.Ring, true, ring.Horns.size());
    events_->Restored(restored.Running, restored.Alarms);
    site_->Restore(restored.Running, restored.Ended);
    if (!restored.Running.empty() || !restored.Ended.empty())
        writer_->Line("taken up after the restart: " + std::to_string(restored.Running.size()) +
                      " running ring(s), " + std::to_string(restored.Ended.size()) +
                      " ended ring(s) whose horns are switched off until they report off");
}

bool TService::Start(std::string& error) {
    if (started_) return true;
    started_ = true;
    writer_->Start();
    const site::TInstant now = std::chrono::system_clock::now();
    try {
        Restore(now);
    } catch (const store::TStoreError& e) {
        error = std::string("the rings in the database cannot be read: ") + e.what();
        return false;
    }
    for (const auto& line : namesLeftOut_)
        writer_->Line(line);
    if (!LoadTimetable(error)) return false;
    try {
        for (const auto& line : calendar_.Update(store_->Exceptions().List()))
            writer_->Line(line);
    } catch (const store::TStoreError& e) {
        error = std::string("the timetable's added exceptions cannot be read: ") + e.what();
        return false;
    }
    store::TAuditEntry start;
    start.At = Utc(now);
    start.Kind = store::TAuditKind::ServiceStart;
    start.Detail = std::string("kstbelld ") + KSTBELL_VERSION + ", pid " + std::to_string(getpid());
    Audit(start);
    store::TAuditEntry loaded = start;
    loaded.Kind = store::TAuditKind::ConfigLoaded;
    loaded.Detail = config_.Path + ": " + std::to_string(config_.Horns.size()) + " horn(s), " +
                    std::to_string(names_->Groups().size()) + " group(s), " +
                    std::to_string(config_.Alarms.size()) + " alarm(s), " +
                    std::to_string(Timetable().Timetable.Plans.size()) + " day plan(s)";
    Audit(loaded);
    writer_->Line("site \"" + Printable(config_.Site.Name) + "\": " + loaded.Detail +
                  "; state in " + options_.StateDir.string());

    // The HTTP front first: the MQTT front names its address as the horns' page.
    if (config_.Http && options_.MakeWebFront) {
        web_ = options_.MakeWebFront(*this);
        if (!web_->Start(error)) {
            error = "HTTP front: " + error;
            return false;
        }
        events_->AddFront(*web_);
        writer_->Line("HTTP front on " + web_->Url());
    }
    if (config_.HasBroker && options_.MakeMqttFront) {
        auto front = options_.MakeMqttFront(*this);
        if (!front->Start(error)) return false;
        events_->AddFront(*front);
        fronts_.push_back(std::move(front));
    }
    site_->Start();
    inputs_->Start();
    schedulerThread_ = std::thread([this] { scheduler_->Run(); });
    const auto current = calendar_.Current();
    const auto from = std::chrono::floor<std::chrono::seconds>(now);
    const auto next = current->Next(from, 1);
    const std::string limit = next.empty() ? current->NextLimit(from) : std::string();
    writer_->Line(next.empty()
                      ? "no bells ahead in the calendar" + (limit.empty() ? "" : ": " + limit)
                      : "next bell: " + BellLabel(next.front()) + ", group " +
                            next.front().Bell.Group + ", at " +
                            calendar::FormatLocal(next.front().Local) + " (" +
                            calendar::FormatUtc(next.front().At) + ")");
    if (web_) web_->SetReady(true);
    return true;
}

void TService::Stop(TRingsAtStop rings) {
    if (!started_ || stopped_) return;
    stopped_ = true;
    // The HTTP front first: its event streams end while the service still runs.
    if (web_) {
        web_->SetReady(false);
        web_->Stop();
    }
    clock_.Stop();
    if (schedulerThread_.joinable()) schedulerThread_.join();
    inputs_->Stop();
    // Nothing sounds on after the service: every ring and alarm ends, and the stop waits (a
    // while) for each horn to be seen off. One that is not is switched off at the next start.
    site::TSite::TRingsEnded ended;
    if (rings == TRingsAtStop::End) {
        const TRingContextScope scope({.Reason = "the service stops"});
        ended = site_->EndRings(site::TCause::Service, kStopOffWait);
    }
    site_->Stop();
    for (auto& front : fronts_)
        front->Stop();
    std::string detail = rings == TRingsAtStop::Keep
                             ? "stopped; running rings are taken up at the next start"
                             : "stopped";
    if (ended.Rings > 0) {
        detail += "; " + std::to_string(ended.Rings) + " ring(s) ended, " +
                  std::to_string(ended.Horns.size() - ended.StillOn.size()) + " of " +
                  std::to_string(ended.Horns.size()) + " horn(s) seen off";
        if (!ended.StillOn.empty()) {
            std::string addresses;
            for (std::size_t h : ended.StillOn)
                addresses += (addresses.empty() ? "" : ", ") + config_.Horns[h].Address;
            detail += "; not seen off within " + std::to_string(kStopOffWait.count() / 1000) +
                      " s: " + addresses + " (told off again at the next start)";
        }
    }
    store::TAuditEntry stop;
    stop.At = Utc(std::chrono::system_clock::now());
    stop.Kind = store::TAuditKind::ServiceStop;
    stop.Detail = detail;
    Audit(stop);
    writer_->Line(detail);
    writer_->Stop();
}

void TService::ExceptionsChanged() {
    try {
        for (const auto& line : calendar_.Update(store_->Exceptions().List()))
            writer_->Line(line);
    } catch (const store::TStoreError& e) {
        writer_->Line("the timetable's added exceptions cannot be read: " + std::string(e.what()));
        return;
    }
    clock_.Wake();
}

store::ITimetableStore& TService::KeptTimetable() const {
    return options_.TimetableStore ? *options_.TimetableStore : store_->Timetable();
}

bool TService::GroupExists(const std::string& group) const {
    return names_->HasGroup(group);
}

TNamesOutcome TService::RenameHorn(std::size_t horn, const std::string& name,
                                   const store::TChange& change) {
    const std::string before = names_->HornText(horn);
    auto outcome = names_->Rename(horn, name, change);
    if (outcome.Ok() && names_->HornText(horn) != before)
        writer_->Line("horn " + before + " is now " + names_->HornText(horn) + " (" +
                      Printable(change.Actor) + ")");
    return outcome;
}

TNamesOutcome TService::SetGroup(const std::string& group, const std::vector<std::string>& members,
                                 const store::TChange& change) {
    auto outcome = names_->SetGroup(group, members, change);
    if (outcome.Ok())
        writer_->Line(
            "group " + group + " saved by " + Printable(change.Actor) + ": " +
            std::to_string(names_->GroupHorns(group).value_or(std::vector<std::size_t>{}).size()) +
            " horn(s)");
    return outcome;
}

TNamesOutcome TService::RemoveGroup(const std::string& group, const store::TChange& change) {
    // A bell of the timetable would ring no horn: the timetable is changed first.
    {
        const std::lock_guard lock(timetableMutex_);
        for (const auto& [plan, day] : timetable_.Timetable.Plans)
            for (const auto& bell : day.Bells)
                if (bell.Group == group && names_->HasGroup(group))
                    return {TNamesOutcome::EResult::InUse,
                            "group " + group + " is rung by the timetable's plan " + plan +
                                ": take it out of the timetable first"};
    }
    auto outcome = names_->RemoveGroup(group, change);
    if (outcome.Ok()) writer_->Line("group " + group + " removed by " + Printable(change.Actor));
    return outcome;
}

TServiceConfig TService::NamedConfig() const {
    TServiceConfig out = config_;
    const auto names = names_->Names();
    for (std::size_t i = 0; i < out.Horns.size() && i < names.size(); ++i)
        out.Horns[i].Name = names[i];
    out.Groups = names_->Groups();
    return out;
}

ETimetableSource TService::TimetableSource() const {
    return timetable_.Source;  // set once, at the construction
}

TTimetableNow TService::Timetable() const {
    const std::lock_guard lock(timetableMutex_);
    return timetable_;
}

void TService::RunTimetable(TTimetableNow now) {
    timetable_ = std::move(now);
    // The site's own exceptions (the demo's day with its first bell) stay beside the timetable
    // the database keeps, as those added through the API do, unless their plan is gone.
    calendar::TSchedule schedule = calendar::ScheduleOf(timetable_.Timetable);
    for (const auto& e : config_.Calendar.Schedule.Exceptions) {
        if (!e.Plan.empty() && !schedule.Plans.contains(e.Plan)) {
            writer_->Line("the site's exception \"" + Printable(e.Name) +
                          "\" names the day plan '" + Printable(e.Plan) +
                          "', which the timetable no longer has; it is left out");
            continue;
        }
        schedule.Exceptions.push_back(e);
    }
    for (const auto& line : calendar_.Replace(std::move(schedule), "the timetable"))
        writer_->Line(line);
    clock_.Wake();
}

bool TService::LoadTimetable(std::string& error) {
    if (timetable_.Source == ETimetableSource::File) return true;
    try {
        auto current = KeptTimetable().Current();
        if (!current && options_.FirstTimetable) {
            const store::TChange change{Utc(std::chrono::system_clock::now()), "kstbelld",
                                        store::TAuditCause::Service};
            const auto saved = KeptTimetable().Save(
                0, TimetableDocument(*options_.FirstTimetable),
                "the first timetable: " +
                    TimetableChanges(calendar::TTimetable{}, *options_.FirstTimetable),
                change);
            current = saved.Current;
        }
        if (!current) {
            writer_->Line("timetable: none kept in the database yet (no bells until one is saved)");
            return true;
        }
        std::vector<config::TError> mistakes;
        calendar::TTimetable timetable;
        if (!ReadTimetableDocument(current->Document, {}, timetable, mistakes)) {
            error = "the timetable in the database (revision " + std::to_string(current->Revision) +
                    ") cannot be read: " + DocumentMistake(mistakes.front());
            return false;
        }
        // A group the site file no longer has rings no horn; the timetable still runs.
        std::vector<config::TError> groups;
        ReadTimetableDocument(
            current->Document, [this](const std::string& g) { return GroupExists(g); }, timetable,
            groups);
        for (const auto& mistake : groups)
            writer_->Line("timetable revision " + std::to_string(current->Revision) + ": " +
                          DocumentMistake(mistake) + "; its bells ring no horn");
        const std::lock_guard lock(timetableMutex_);
        current->Document.clear();
        writer_->Line("timetable: the database's, revision " + std::to_string(current->Revision) +
                      " (saved by " + Printable(current->ChangedBy) + " at " +
                      store::FormatUtc(current->ChangedAt) + ")");
        RunTimetable({ETimetableSource::Database, std::move(*current), std::move(timetable)});
        return true;
    } catch (const store::TStoreError& e) {
        error = std::string("the timetable in the database cannot be read: ") + e.what();
        return false;
    }
}

TTimetableSaveOutcome TService::SaveTimetable(const calendar::TTimetable& timetable,
                                              std::int64_t expected, const store::TChange& change,
                                              const std::string& summary) {
    TTimetableSaveOutcome out;
    if (timetable_.Source == ETimetableSource::File) {
        out.Result = TTimetableSaveOutcome::EResult::FileOwned;
        out.Now = Timetable();
        return out;
    }
    const std::lock_guard lock(timetableMutex_);
    const std::string changes = TimetableChanges(timetable_.Timetable, timetable);
    store::TTimetableSave saved;
    try {
        saved = KeptTimetable().Save(expected, TimetableDocument(timetable),
                                     summary.empty() ? changes : summary + ": " + changes, change);
    } catch (const store::TStoreError& e) {
        out.Error = e.what();
        return out;
    }
    if (!saved.Saved) {
        out.Result = TTimetableSaveOutcome::EResult::Stale;
        out.Now.Source = ETimetableSource::Database;
        out.Now.Revision = saved.Current;
        // Another program saved a newer one: it runs from now on, as it would after a reload.
        if (saved.Current.Revision > timetable_.Revision.Revision) {
            calendar::TTimetable newer;
            std::vector<config::TError> mistakes;
            if (ReadTimetableDocument(saved.Current.Document, {}, newer, mistakes)) {
                out.Now.Revision.Document.clear();
                out.Now.Timetable = newer;
                writer_->Line("timetable: revision " + std::to_string(saved.Current.Revision) +
                              ", saved by " + Printable(saved.Current.ChangedBy) +
                              " elsewhere, taken up");
                RunTimetable(out.Now);
            }
        }
        out.Now.Revision.Document.clear();
        return out;
    }
    saved.Current.Document.clear();
    writer_->Line("timetable revision " + std::to_string(saved.Current.Revision) + " saved by " +
                  Printable(change.Actor) + ": " + saved.Current.Summary);
    RunTimetable({ETimetableSource::Database, saved.Current, timetable});
    out.Result = TTimetableSaveOutcome::EResult::Saved;
    out.Now = timetable_;
    return out;
}

std::optional<calendar::TTimetable> TService::TimetableRevision(std::int64_t revision,
                                                                std::string& error) const {
    const auto kept = KeptTimetable().Revision(revision);
    if (!kept) return std::nullopt;
    calendar::TTimetable timetable;
    std::vector<config::TError> mistakes;
    if (!ReadTimetableDocument(kept->Document, {}, timetable, mistakes)) {
        error = "revision " + std::to_string(revision) +
                " cannot be read: " + DocumentMistake(mistakes.front());
        return std::nullopt;
    }
    return timetable;
}

std::vector<store::TTimetableRevision> TService::TimetableRevisions(std::size_t limit) const {
    if (timetable_.Source == ETimetableSource::File) return {};
    return KeptTimetable().History(limit);
}

bool TService::ReloadTimetable(std::string& error) {
    if (timetable_.Source == ETimetableSource::File) return true;
    try {
        auto current = KeptTimetable().Current();
        if (!current) return true;
        calendar::TTimetable timetable;
        std::vector<config::TError> mistakes;
        if (!ReadTimetableDocument(current->Document, {}, timetable, mistakes)) {
            error = "the timetable in the database (revision " + std::to_string(current->Revision) +
                    ") cannot be read: " + DocumentMistake(mistakes.front());
            return false;
        }
        const std::lock_guard lock(timetableMutex_);
        if (current->Revision == timetable_.Revision.Revision) return true;
        current->Document.clear();
        writer_->Line("timetable: revision " + std::to_string(current->Revision) + " (saved by " +
                      Printable(current->ChangedBy) + ") taken up");
        RunTimetable({ETimetableSource::Database, std::move(*current), std::move(timetable)});
        return true;
    } catch (const store::TStoreError& e) {
        error = std::string("the timetable in the database cannot be read: ") + e.what();
        return false;
    }
}

bool TService::ReplaceFileTimetable(const calendar::TCalendarConfig& read,
                                    std::vector<std::string>& mistakes) {
    if (timetable_.Source != ETimetableSource::File) {
        mistakes.push_back(
            "the timetable is the database's: restart kstbelld to take the site "
            "file's");
        return false;
    }
    if (!read.ScheduleGiven) {
        mistakes.push_back(config_.Path +
                           ": no [schedule] any more: restart kstbelld to keep the timetable in "
                           "the database");
        return false;
    }
    std::vector<config::TError> errors;
    calendar::CheckBellGroups(
        read, config_.Path, [this](const std::string& g) { return GroupExists(g); }, errors);
    if (!errors.empty()) {
        for (const auto& e : config::FormatErrors(errors))
            mistakes.push_back(e + " (the groups are read at a restart)");
        return false;
    }
    const std::lock_guard lock(timetableMutex_);
    const calendar::TTimetable next = calendar::TimetableOf(read.Schedule);
    const std::string changes = TimetableChanges(timetable_.Timetable, next);
    timetable_.Timetable = next;
    for (const auto& line : calendar_.Replace(read.Schedule))
        writer_->Line(line);
    clock_.Wake();
    store::TAuditEntry loaded;
    loaded.At = Utc(std::chrono::system_clock::now());
    loaded.Kind = store::TAuditKind::ConfigLoaded;
    loaded.Detail = config_.Path + ": the timetable read again: " + changes;
    Audit(loaded);
    writer_->Line(loaded.Detail);
    return true;
}

std::vector<std::uint64_t> TService::AlarmRings(const std::string& alarm) const {
    return events_->AlarmRings(alarm);
}

std::int64_t TService::StoreRingId(std::uint64_t ring) const {
    const std::int64_t id = journal_->StoreId(ring);
    return id ? id : static_cast<std::int64_t>(ring);
}

void TService::BellMissed(const calendar::TScheduledBell& bell, const std::string& reason) {
    for (auto& front : fronts_)
        front->OnBellMissed(bell, reason);
    if (web_) web_->OnBellMissed(bell, reason);
}

std::vector<std::string> TService::GroupNames() const {
    return names_->GroupNames();
}

std::optional<std::vector<std::size_t>> TService::GroupHorns(const std::string& group) const {
    return names_->GroupHorns(group);
}

std::vector<std::string> TService::AlarmNames() const {
    std::vector<std::string> names;
    for (const auto& a : config_.Alarms)
        names.push_back(a.Name);
    return names;
}

site::TRingAnswer TService::Ring(const site::TRingRequest& request) {
    site::TRingAnswer answer;
    const auto refuse = [&](std::string why) {
        answer.Refusal = std::move(why);
        return answer;
    };
    if (request.Tone > 3) return refuse("the tone must be 0 to 3");
    if (request.Duration && *request.Duration < std::chrono::seconds(1))
        return refuse("a ring lasts at least 1 s");
    std::vector<std::size_t> horns = request.Horns;
    if (!request.Group.empty()) {
        auto group = names_->GroupHorns(request.Group);
        if (!group) return refuse("no group named '" + request.Group + "'");
        horns = std::move(*group);
    }
    for (std::size_t h : horns)
        if (h >= config_.Horns.size()) return refuse("no horn number " + std::to_string(h));
    if (horns.empty()) return refuse("no horns to ring");
    site::TRingOrder order;
    order.Horns = std::move(horns);
    order.Tone = request.Tone;
    order.Duration = request.Duration.value_or(site::TMillis::zero());
    order.Priority = kManualPriority;
    order.Cause = request.Cause;
    order.Actor = request.Actor;
    order.Label = request.Group;
    order.Tag = request.Tag;
    const TRingContextScope scope({.Actor = request.Actor, .Group = request.Group});
    answer.Start = site_->Ring(std::move(order));
    if (answer.Start.Record.Id == 0)
        return refuse("the ring could not be recorded, so no horn was switched on");
    answer.Started = true;
    const std::uint64_t id = answer.Start.Record.Id;
    const site::TMillis wait = request.AwaitSwitches ? site_->SwitchWait() : site::TMillis(0);
    answer.Switches = site_->AwaitSwitches(id, wait).value_or(site::TRingSwitches{id, {}});
    // A ring that switched nothing on is over: no horn that answers later is to sound for it.
    if (answer.Switches.NoneOn()) site_->StopRing(id, request.Cause);
    return answer;
}

void TService::StopHorn(std::size_t horn, site::TCause cause, const std::string& actor,
                        const std::string& tag) {
    if (horn >= config_.Horns.size()) return;
    // A ring goes on without the horn (it ends with its last horn): the stop is a change of its
    // own, and the log says who asked for it.
    store::TAuditEntry entry;
    entry.At = Utc(std::chrono::system_clock::now());
    entry.Kind = store::TAuditKind::HornStopped;
    entry.Cause = AuditCause(cause);
    entry.Actor = actor;
    entry.HornAddress = config_.Horns[horn].Address;
    entry.Detail = "stopped on request";
    Audit(entry);
    const TRingContextScope scope({.Actor = actor});
    site_->StopHorn(horn, cause, tag);
}

bool TService::StopGroup(const std::string& group, site::TCause cause, const std::string& actor) {
    const auto found = names_->GroupHorns(group);
    if (!found) return false;
    writer_->Line("group " + group + " stopped (" + Who(cause, actor) + ")");
    const TRingContextScope scope({.Actor = actor});
    for (std::size_t h : *found)
        site_->StopHorn(h, cause);
    return true;
}

void TService::StopAll(site::TCause cause, const std::string& actor) {
    const site::TInstant now = std::chrono::system_clock::now();
    // One flushed write ends every ring in the database, rather than one per ring.
    bool endedAll = true;
    try {
        store_->Rings().EndAll(Utc(now));
    } catch (const store::TStoreError& e) {
        endedAll = false;
        writer_->Line("stop all: the rings' ends could not be recorded at once: " +
                      std::string(e.what()));
    }
    store::TAuditEntry entry;
    entry.At = Utc(now);
    entry.Kind = store::TAuditKind::StopAll;
    entry.Cause = AuditCause(cause);
    entry.Actor = actor;
    entry.Detail = "every ring and alarm ended, every horn told off";
    Audit(entry);
    writer_->Line("stop all (" + Who(cause, actor) + ")");
    const TRingContextScope scope({.Actor = actor, .EndedAll = endedAll});
    site_->StopAll(cause);
}

site::TAlarmAnswer TService::StartAlarm(const std::string& name, site::TCause cause,
                                        const std::string& actor) {
    site::TAlarmAnswer answer;
    const alarms::TAlarm* alarm = config_.FindAlarm(name);
    if (!alarm) {
        answer.Refusal = "no alarm named '" + name + "'";
        return answer;
    }
    std::vector<std::size_t> horns =
        names_->GroupHorns(alarm->Group).value_or(std::vector<std::size_t>{});
    site::TRingOrder order = alarms::AlarmRing(*alarm, std::move(horns), cause, actor);
    const TRingContextScope scope({.Actor = actor, .Group = alarm->Group, .Alarm = name});
    const site::TRingStart start = site_->Ring(std::move(order));
    if (start.Record.Id == 0) {
        answer.Refusal = "the alarm's ring could not be recorded, so no horn was switched on";
        return answer;
    }
    answer.Ok = true;
    answer.Ring = start.Record.Id;
    return answer;
}

bool TService::StopAlarm(const std::string& name, site::TCause cause, const std::string& actor) {
    const auto rings = events_->AlarmRings(name);
    if (rings.empty()) return false;
    const TRingContextScope scope({.Actor = actor});
    for (std::uint64_t ring : rings)
        site_->StopRing(ring, cause);
    return true;
}

site::TRingOrder TService::BellRing(const calendar::TScheduledBell& bell) const {
    site::TRingOrder order;
    if (auto group = names_->GroupHorns(bell.Bell.Group)) order.Horns = std::move(*group);
    order.Tone = static_cast<std::uint8_t>(bell.Bell.Tone);
    order.Duration = std::chrono::seconds(bell.Bell.DurationS);
    order.Priority = kBellPriority;
    order.Cause = site::TCause::Schedule;
    order.Label = BellLabel(bell);
    return order;
}

void TService::Prepare(const std::vector<calendar::TScheduledBell>& bells) {
    prepared_.clear();
    for (const auto& bell : bells) {
        const site::TRingOrder order = BellRing(bell);
        const site::TInstant start = bell.At;
        prepared_.push_back(journal_->Prepare(
            order, start, start + std::min<site::TMillis>(order.Duration, config_.Site.MaxRing),
            bell.Bell.Group));
    }
}

void TService::Ring(const std::vector<calendar::TScheduledBell>& bells, bool late) {
    const bool usePrepared = prepared_.size() == bells.size();
    for (std::size_t i = 0; i < bells.size(); ++i) {
        const auto& bell = bells[i];
        TRingContext context;
        context.Group = bell.Bell.Group;
        context.Bell = BellLabel(bell);
        context.Scheduled = bell.At;
        context.Late = late;
        context.Prepared = usePrepared ? prepared_[i] : 0;
        const TRingContextScope scope(std::move(context));
        const site::TRingStart start = site_->Ring(BellRing(bell));
        if (start.Record.Id != 0) continue;
        store::TAuditEntry entry;
        entry.At = Utc(std::chrono::system_clock::now());
        entry.Kind = store::TAuditKind::BellMissed;
        entry.Cause = store::TAuditCause::Schedule;
        entry.Group = bell.Bell.Group;
        entry.Detail = BellLabel(bell) + ": its ring could not be recorded";
        Audit(entry);
        writer_->Line("bell " + BellLabel(bell) + " missed: its ring could not be recorded");
        BellMissed(bell, "its ring could not be recorded");
    }
    prepared_.clear();
}

void TService::Withdraw() {
    const site::TInstant now = std::chrono::system_clock::now();
    for (std::int64_t id : prepared_)
        journal_->Withdraw(id, now);
    prepared_.clear();
}

void TService::Missed(const calendar::TScheduledBell& bell) {
    store::TAuditEntry entry;
    entry.At = Utc(std::chrono::system_clock::now());
    entry.Kind = store::TAuditKind::BellMissed;
    entry.Cause = store::TAuditCause::Schedule;
    entry.Group = bell.Bell.Group;
    entry.Tone = bell.Bell.Tone;
    entry.Duration = std::chrono::seconds(bell.Bell.DurationS);
    entry.Detail = BellLabel(bell) + " at " + calendar::FormatUtc(bell.At) +
                   ": not rung, the service was not running (or was held up) then";
    Audit(entry);
    writer_->Line("bell " + BellLabel(bell) + " (" + calendar::FormatUtc(bell.At) +
                  ") missed: the service was not running then; it is not rung late");
    BellMissed(bell, "service down");
}

}  // namespace kstbell::service
