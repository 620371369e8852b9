// The timetable and the audit log, as the HTTP front reads and changes them.

#include <algorithm>

#include "service/service.h"
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
    return out;
}

web::TDayView TWebPort::Today() {
    const auto calendar = service_.Calendar();
    const sys_seconds now = NowSeconds();
    const local_days today = floor<days>(calendar->Zone().ToLocal(now));
    web::TDayView day;
    day.Date = year_month_day{today};
    const calendar::TDayChoice choice = calendar->DayChoice(day.Date);
    day.Plan = choice.Plan;
    day.Rule = WebRule(choice.Rule);
    day.Name = choice.Name;
    // The day's bells: those the calendar gives from its first instant to the next day's.
    const sys_seconds from = calendar->Zone().ToUtc(local_seconds{today.time_since_epoch()}).At;
    const sys_seconds to =
        calendar->Zone().ToUtc(local_seconds{(today + days(1)).time_since_epoch()}).At;
    bool nextFound = false;
    for (const auto& bell : calendar->Bells(from, to)) {
        if (bell.Date != day.Date) continue;
        web::TBellInfo info = BellInfo(bell);
        if (bell.At <= now) {
            info.State = web::TBellState::Past;
        } else if (!nextFound) {
            info.State = web::TBellState::Next;
            nextFound = true;
        }
        day.Bells.push_back(std::move(info));
    }
    return day;
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
    const calendar::TSchedule& schedule = service_.LiveCalendar().FileSchedule();
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
    for (const auto& e : service_.LiveCalendar().FileSchedule().Exceptions)
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
    const auto& schedule = service_.LiveCalendar().FileSchedule();
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
