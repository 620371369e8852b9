// The timetable and the audit log, as the HTTP front reads and changes them.

#include <algorithm>

#include "service/service.h"
#include "service/timetable_document.h"
#include "service/web_port.h"
#include "service/web_values.h"
#include "store/store_error.h"
#include "text/iso_time.h"

namespace kstbell::service {

namespace {

using namespace std::chrono;

sys_seconds NowSeconds() {
    return floor<seconds>(system_clock::now());
}

web::TDayRule WebRule(calendar::EDayRule rule) {
    switch (rule) {
        case calendar::EDayRule::Week:
            return web::TDayRule::Week;
        case calendar::EDayRule::Exception:
            return web::TDayRule::Exception;
        case calendar::EDayRule::Holiday:
            return web::TDayRule::Holiday;
    }
    return web::TDayRule::Week;
}

bool Overlap(year_month_day aFirst, year_month_day aLast, year_month_day bFirst,
             year_month_day bLast) {
    return sys_days{aFirst} <= sys_days{bLast} && sys_days{bFirst} <= sys_days{aLast};
}

web::TExceptionInfo WebException(const store::TScheduleException& e) {
    return {e.Id, e.First, e.Last, e.Plan, e.Name, e.AddedBy, WebTime(e.Added)};
}

// The revisions a list shows at most.
constexpr std::size_t kRevisionsListed = 1000;

web::TTimetableView TimetableView(const TTimetableNow& now) {
    web::TTimetableView out;
    out.Source = now.Source == ETimetableSource::File ? web::TTimetableSource::File
                                                      : web::TTimetableSource::Database;
    out.Revision = now.Revision.Revision;
    out.ChangedBy = now.Revision.ChangedBy;
    if (now.Revision.Revision > 0) out.ChangedAt = WebTime(now.Revision.ChangedAt);
    for (const auto& [name, plan] : now.Timetable.Plans) {
        std::vector<web::TTimetableBell> bells;
        for (const auto& bell : plan.Bells)
            bells.push_back({bell.Time, bell.Group, bell.Tone, bell.DurationS, bell.Label});
        std::stable_sort(bells.begin(), bells.end(),
                         [](const auto& a, const auto& b) { return a.Time < b.Time; });
        out.Plans.emplace_back(name, std::move(bells));
    }
    out.Week = now.Timetable.Week;
    for (const auto& holiday : now.Timetable.Holidays)
        out.Holidays.push_back({holiday.Name, holiday.Dates.First, holiday.Dates.Last});
    return out;
}

web::TFailure FileOwnsTimetable() {
    return web::Fail(web::TErrorKind::Conflict,
                     "the timetable is set in the site file ([schedule]): change it there, or "
                     "take the [schedule] tables out of the file to edit it here");
}

web::TPortResult<web::TTimetableView> SaveAnswer(const TTimetableSaveOutcome& outcome) {
    using EResult = TTimetableSaveOutcome::EResult;
    switch (outcome.Result) {
        case EResult::Saved:
            return TimetableView(outcome.Now);
        case EResult::FileOwned:
            return FileOwnsTimetable();
        case EResult::Stale: {
            const auto& current = outcome.Now.Revision;
            if (current.Revision == 0)
                return web::Fail(web::TErrorKind::PreconditionFailed,
                                 "no timetable is saved yet: make the change from revision 0 "
                                 "(If-Match: \"0\")");
            return web::Fail(web::TErrorKind::PreconditionFailed,
                             "the timetable was changed meanwhile: revision " +
                                 std::to_string(current.Revision) + " by " +
                                 (current.ChangedBy.empty() ? std::string("an unnamed program")
                                                            : current.ChangedBy) +
                                 " at " + store::FormatUtc(current.ChangedAt) +
                                 "; load it again and make the change on it");
        }
        case EResult::Failed:
            break;
    }
    return web::Fail(web::TErrorKind::Internal, outcome.Error);
}

}  // namespace

web::TBellInfo TWebPort::BellInfo(const calendar::TScheduledBell& bell) const {
    web::TBellInfo out;
    out.At = bell.At;
    out.Local = bell.Local;
    out.Date = bell.Date;
    out.Plan = bell.Plan;
    out.Group = bell.Bell.Group;
    out.Tone = bell.Bell.Tone;
    out.DurationS = bell.Bell.DurationS;
    out.Moved = bell.Moved;
    out.Label = bell.Bell.Label;
    return out;
}

std::optional<std::vector<web::TDayView>> TWebPort::DayViews(const calendar::TCalendar& calendar,
                                                             year_month_day first,
                                                             year_month_day last, bool withBells,
                                                             std::size_t mostBells) const {
    const sys_seconds now = NowSeconds();
    std::vector<web::TDayView> out;
    std::size_t planned = 0;  // the bells of the days' plans: what the answer would hold
    for (sys_days day = sys_days{first}; day <= sys_days{last}; day += days(1)) {
        web::TDayView view;
        view.Date = year_month_day{day};
        const calendar::TDayChoice choice = calendar.DayChoice(view.Date);
        view.Plan = choice.Plan;
        view.Rule = WebRule(choice.Rule);
        view.Name = choice.Name;
        if (const auto plan = calendar.Schedule().Plans.find(choice.Plan);
            plan != calendar.Schedule().Plans.end())
            planned += plan->second.Bells.size();
        out.push_back(std::move(view));
    }
    if (!withBells) return out;
    if (planned > mostBells) return std::nullopt;
    // The days' bells: those the calendar gives from the first day's first instant to the day
    // after the last one's.
    const local_days from{sys_days{first}.time_since_epoch()};
    const local_days to{(sys_days{last} + days(1)).time_since_epoch()};
    const sys_seconds begin = calendar.Zone().ToUtc(local_seconds{from.time_since_epoch()}).At;
    const sys_seconds end = calendar.Zone().ToUtc(local_seconds{to.time_since_epoch()}).At;
    bool nextFound = false;
    for (const auto& bell : calendar.Bells(begin, end)) {
        const auto index = (sys_days{bell.Date} - sys_days{first}).count();
        if (index < 0 || index >= static_cast<long>(out.size())) continue;
        web::TBellInfo info = BellInfo(bell);
        if (bell.At <= now) {
            info.State = web::TBellState::Past;
        } else if (!nextFound) {
            info.State = web::TBellState::Next;
            nextFound = true;
        }
        out[static_cast<std::size_t>(index)].Bells.push_back(std::move(info));
    }
    return out;
}

web::TDayView TWebPort::Today() {
    const auto calendar = service_.Calendar();
    const year_month_day today{floor<days>(calendar->Zone().ToLocal(NowSeconds()))};
    return DayViews(*calendar, today, today)->front();
}

std::vector<web::TBellInfo> TWebPort::NextBells(std::size_t count) {
    std::vector<web::TBellInfo> out;
    for (const auto& bell : service_.Calendar()->Next(NowSeconds(), count)) {
        out.push_back(BellInfo(bell));
        out.back().State = out.size() == 1 ? web::TBellState::Next : web::TBellState::Upcoming;
    }
    return out;
}

web::TPlansView TWebPort::Plans() {
    const auto calendar = service_.Calendar();
    const calendar::TSchedule schedule = service_.LiveCalendar().Base();
    web::TPlansView out;
    out.TimeZone = calendar->Zone().Name();
    for (const auto& [name, plan] : schedule.Plans) {
        web::TPlanInfo info{name, {}};
        for (const auto& bell : plan.Bells)
            info.Bells.push_back({bell.Time, bell.Group, bell.Tone, bell.DurationS});
        std::stable_sort(info.Bells.begin(), info.Bells.end(),
                         [](const auto& a, const auto& b) { return a.Time < b.Time; });
        out.Plans.push_back(std::move(info));
    }
    out.Week = schedule.Week;
    return out;
}

std::vector<web::TExceptionInfo> TWebPort::Exceptions() {
    std::vector<web::TExceptionInfo> out;
    for (const auto& e : service_.LiveCalendar().Base().Exceptions)
        out.push_back({std::nullopt,
                       e.Dates.First,
                       e.Dates.Last,
                       e.Plan.empty() ? std::nullopt : std::optional(e.Plan),
                       e.Name,
                       {},
                       std::nullopt});
    try {
        for (const auto& e : service_.Store().Exceptions().List())
            out.push_back(WebException(e));
    } catch (const store::TStoreError&) {
        // Only the file's would hide the days the database changes: no list rather than a
        // wrong one (and no overlap check for a new exception).
        throw web::TServiceFault(kStoreUnreadable);
    }
    return out;
}

web::TPortResult<web::TExceptionInfo> TWebPort::AddException(const web::TExceptionAsk& ask,
                                                             const web::TCaller& caller) {
    if (!ask.First.ok() || !ask.Last.ok())
        return web::Fail(web::TErrorKind::InvalidInput, "not a date of the calendar");
    if (sys_days{ask.First} > sys_days{ask.Last})
        return web::Fail(web::TErrorKind::InvalidInput, "'from' is after 'to'");
    const calendar::TSchedule schedule = service_.LiveCalendar().Base();
    const std::lock_guard lock(exceptionsMutex_);
    if (ask.Plan && !schedule.Plans.contains(*ask.Plan))
        return web::Fail(web::TErrorKind::InvalidInput, "no day plan named '" + *ask.Plan + "'");
    for (const auto& e : Exceptions()) {
        if (!Overlap(ask.First, ask.Last, e.First, e.Last)) continue;
        return web::Fail(
            web::TErrorKind::Conflict,
            "the dates overlap the exception " +
                (e.Id ? std::to_string(*e.Id) + " " : std::string("of the site file ")) + "from " +
                text::FormatDate(e.First) + " to " + text::FormatDate(e.Last));
    }
    store::TScheduleException added;
    added.First = ask.First;
    added.Last = ask.Last;
    added.Plan = ask.Plan;
    added.Name = ask.Name;
    const store::TChange change{StoreTime(system_clock::now()), caller.Actor(),
                                store::TAuditCause::Http};
    try {
        added.Id = service_.Store().Exceptions().Add(added, change);
    } catch (const store::TStoreError& e) {
        return web::Fail(web::TErrorKind::Internal, e.what());
    }
    service_.ExceptionsChanged();
    added.AddedBy = change.Actor;
    added.Added = change.At;
    return WebException(added);
}

web::TPortStatus TWebPort::RemoveException(std::int64_t id, const web::TCaller& caller) {
    const store::TChange change{StoreTime(system_clock::now()), caller.Actor(),
                                store::TAuditCause::Http};
    try {
        if (!service_.Store().Exceptions().Remove(id, change))
            return web::Fail(web::TErrorKind::NotFound,
                             "no exception " + std::to_string(id) + " added here");
    } catch (const store::TStoreError& e) {
        return web::Fail(web::TErrorKind::Internal, e.what());
    }
    service_.ExceptionsChanged();
    return std::nullopt;
}

web::TTimetableView TWebPort::Timetable() {
    return TimetableView(service_.Timetable());
}

web::TPortResult<web::TTimetableView> TWebPort::SaveTimetable(const std::string& document,
                                                              std::int64_t revision,
                                                              const web::TCaller& caller) {
    if (service_.TimetableSource() == ETimetableSource::File) return FileOwnsTimetable();
    calendar::TTimetable timetable;
    std::vector<config::TError> mistakes;
    if (!ReadTimetableDocument(
            document, [this](const std::string& g) { return service_.Names().HasGroup(g); },
            timetable, mistakes)) {
        web::TFailure failure = web::Fail(web::TErrorKind::InvalidInput, {});
        for (const auto& mistake : mistakes) {
            failure.Details.push_back(DocumentMistake(mistake));
            failure.Message += (failure.Message.empty() ? "" : "; ") + failure.Details.back();
        }
        return failure;
    }
    const store::TChange change{StoreTime(system_clock::now()), caller.Actor(),
                                store::TAuditCause::Http};
    return SaveAnswer(service_.SaveTimetable(timetable, revision, change));
}

std::vector<web::TTimetableRevisionInfo> TWebPort::TimetableRevisions() {
    std::vector<web::TTimetableRevisionInfo> out;
    try {
        for (const auto& r : service_.TimetableRevisions(kRevisionsListed))
            out.push_back({r.Revision, r.ChangedBy, WebTime(r.ChangedAt), r.Summary});
    } catch (const store::TStoreError&) {
        throw web::TServiceFault(kStoreUnreadable);
    }
    return out;
}

web::TPortResult<web::TTimetableView> TWebPort::RestoreTimetable(
    std::int64_t revision, std::optional<std::int64_t> expected, const web::TCaller& caller) {
    if (service_.TimetableSource() == ETimetableSource::File) return FileOwnsTimetable();
    std::string error;
    std::optional<calendar::TTimetable> old;
    try {
        old = service_.TimetableRevision(revision, error);
    } catch (const store::TStoreError& e) {
        return web::Fail(web::TErrorKind::Internal, e.what());
    }
    if (!old) {
        if (!error.empty()) return web::Fail(web::TErrorKind::Internal, error);
        return web::Fail(web::TErrorKind::NotFound,
                         "no revision " + std::to_string(revision) + " of the timetable");
    }
    const store::TChange change{StoreTime(system_clock::now()), caller.Actor(),
                                store::TAuditCause::Http};
    return SaveAnswer(
        service_.SaveTimetable(*old, expected.value_or(service_.Timetable().Revision.Revision),
                               change, "restored revision " + std::to_string(revision)));
}

web::TPortResult<std::vector<web::TDayView>> TWebPort::Days(year_month_day first,
                                                            year_month_day last, bool withBells) {
    auto days = DayViews(*service_.Calendar(), first, last, withBells, kMostBells);
    if (!days)
        return web::Fail(web::TErrorKind::InvalidInput,
                         "the days hold more than " + std::to_string(kMostBells) +
                             " bells: ask for fewer days, or for none of their bells "
                             "(bells=false)");
    return std::move(*days);
}

web::TPortResult<web::TLogPage> TWebPort::Log(const web::TLogQuery& query) {
    web::TFailure why;
    const auto storeQuery = StoreQuery(query, why);
    if (!storeQuery) return why;
    // What was reported so far is in the database before it is read.
    service_.Flush();
    try {
        const store::TAuditPage page = service_.Store().Log().Query(*storeQuery);
        web::TLogPage out;
        for (const auto& entry : page.Entries)
            out.Entries.push_back(WebLogEntry(entry));
        if (page.Next) out.Next = web::TLogCursor{WebTime(page.Next->At), page.Next->Id};
        return out;
    } catch (const store::TStoreError& e) {
        return web::Fail(web::TErrorKind::Internal, e.what());
    }
}

}  // namespace kstbell::service
