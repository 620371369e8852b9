#include "calendar/calendar.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "calendar/clock_text.h"
#include "calendar/holidays.h"

namespace kstbell::calendar {

namespace {

using namespace std::chrono;

// Queries are held to these years, which keeps the local-time arithmetic from overflowing
// when a caller passes the limits of sys_seconds.
const sys_seconds kEarliest{sys_days{year{1970} / January / 1}};
const sys_seconds kLatest{sys_days{year{9999} / January / 1}};

}  // namespace

TCalendar::TCalendar(TTimeZone zone, TSchedule schedule)
    : zone_(std::move(zone)), schedule_(std::move(schedule)), until_(zone_.KnownUntil()) {
    if (!schedule_.HolidaysCutBy.empty()) {
        const local_days uncounted{year{kLastHolidayYear + 1} / January / 1};
        until_ = std::min(until_, zone_.ToUtc(local_seconds{uncounted}).At);
    }
    auto known = [this](const std::string& plan, const char* where) {
        if (!plan.empty() && !schedule_.Plans.count(plan))
            throw std::invalid_argument(std::string(where) + " names the plan '" + plan +
                                        "', which the schedule lacks");
    };
    for (const auto& plan : schedule_.Week)
        known(plan, "the week");
    for (const auto& exception : schedule_.Exceptions)
        known(exception.Plan, "an exception");
    for (auto& [name, plan] : schedule_.Plans)
        std::stable_sort(plan.Bells.begin(), plan.Bells.end(),
                         [](const TBell& a, const TBell& b) { return a.Time < b.Time; });

    // Holidays as disjoint spans sorted by their first day, so that a day is found by one
    // binary search however many recurrences the file had.
    auto spans = schedule_.Holidays;
    std::stable_sort(spans.begin(), spans.end(), [](const THoliday& a, const THoliday& b) {
        return sys_days{a.Dates.First} < sys_days{b.Dates.First};
    });
    for (const auto& holiday : spans) {
        const sys_days first{holiday.Dates.First};
        const sys_days last{holiday.Dates.Last};
        if (!holidays_.empty() && first <= holidays_.back().Last) {
            holidays_.back().Last = std::max(holidays_.back().Last, last);
        } else {
            holidays_.push_back({first, last, holiday.Name});
        }
    }
}

TDayChoice TCalendar::DayChoice(year_month_day date) const {
    const sys_days day{date};
    for (const auto& exception : schedule_.Exceptions) {
        if (day >= sys_days{exception.Dates.First} && day <= sys_days{exception.Dates.Last})
            return {EDayRule::Exception, exception.Plan, exception.Name};
    }
    auto after = std::upper_bound(holidays_.begin(), holidays_.end(), day,
                                  [](sys_days d, const THolidaySpan& s) { return d < s.First; });
    if (after != holidays_.begin() && day <= std::prev(after)->Last)
        return {EDayRule::Holiday, {}, std::prev(after)->Name};
    const unsigned monday0 = weekday{day}.iso_encoding() - 1;
    return {EDayRule::Week, schedule_.Week[monday0], {}};
}

void TCalendar::DayBells(sys_days day, std::vector<TScheduledBell>& into) const {
    const TDayChoice choice = DayChoice(year_month_day{day});
    if (choice.Plan.empty()) return;
    const TDayPlan& plan = schedule_.Plans.at(choice.Plan);
    for (const TBell& bell : plan.Bells) {
        const TResolvedTime at = zone_.ToUtc(local_days{day.time_since_epoch()} + bell.Time);
        into.push_back({at.At, zone_.ToLocal(at.At), year_month_day{day}, choice.Plan, choice.Rule,
                        bell, at.Moved});
    }
}

std::vector<TScheduledBell> TCalendar::Bells(sys_seconds from, sys_seconds to) const {
    from = std::max(from, kEarliest);
    to = std::min({to, kLatest, until_});
    std::vector<TScheduledBell> bells;
    if (from >= to) return bells;
    // A day's bells ring within a day and a few hours of its local midnight, so the local
    // days around the range hold every bell in it.
    const sys_days firstDay{floor<days>(zone_.ToLocal(from)).time_since_epoch() - days{1}};
    const sys_days lastDay{floor<days>(zone_.ToLocal(to - seconds{1})).time_since_epoch() +
                           days{1}};
    std::vector<TScheduledBell> day;
    for (sys_days d = firstDay; d <= lastDay; d += days{1}) {
        day.clear();
        DayBells(d, day);
        for (auto& bell : day)
            if (bell.At >= from && bell.At < to) bells.push_back(std::move(bell));
    }
    std::stable_sort(bells.begin(), bells.end(),
                     [](const TScheduledBell& a, const TScheduledBell& b) { return a.At < b.At; });
    return bells;
}

std::vector<TScheduledBell> TCalendar::Next(sys_seconds after, std::size_t count) const {
    std::vector<TScheduledBell> next;
    if (after >= kLatest) return next;
    const sys_seconds limit = std::min({after + kNextSearchDays, kLatest, until_});
    for (sys_seconds from = after + seconds{1}; next.size() < count && from < limit;) {
        const sys_seconds to = std::min(from + days{7}, limit);
        for (auto& bell : Bells(from, to)) {
            if (next.size() == count) break;
            next.push_back(std::move(bell));
        }
        from = to;
    }
    return next;
}

std::string TCalendar::NextLimit(sys_seconds after) const {
    if (until_ == sys_seconds::max() || (after < until_ && until_ - after >= kNextSearchDays))
        return {};
    if (until_ == zone_.KnownUntil())
        return "times from " + FormatUtc(until_) + " on are unknown: " + zone_.KnownUntilReason();
    return "days from " + std::to_string(kLastHolidayYear + 1) +
           "-01-01 on are unknown: holidays are counted only up to " +
           std::to_string(kLastHolidayYear) + " and a recurring one in " + schedule_.HolidaysCutBy +
           " goes on after it";
}

TDueBells TCalendar::Classify(sys_seconds lastHandled, sys_seconds now,
                              seconds lateTolerance) const {
    TDueBells result;
    now = std::min(now, kLatest);
    if (now <= lastHandled) return result;
    for (auto& bell : Bells(lastHandled + seconds{1}, now + seconds{1})) {
        auto& into = now - bell.At <= lateTolerance ? result.Due : result.Missed;
        into.push_back(std::move(bell));
    }
    return result;
}

}  // namespace kstbell::calendar
