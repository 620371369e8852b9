#include "service/live_calendar.h"

namespace kstbell::service {

TLiveCalendar::TLiveCalendar(calendar::TTimeZone zone, calendar::TSchedule fileSchedule)
    : zone_(std::move(zone)),
      base_(std::move(fileSchedule)),
      current_(std::make_shared<const calendar::TCalendar>(zone_, base_)) {}

std::shared_ptr<const calendar::TCalendar> TLiveCalendar::Current() const {
    const std::lock_guard lock(m_);
    return current_;
}

calendar::TSchedule TLiveCalendar::Base() const {
    const std::lock_guard lock(m_);
    return base_;
}

std::vector<std::string> TLiveCalendar::Update(
    const std::vector<store::TScheduleException>& added) {
    const std::lock_guard lock(m_);
    added_ = added;
    return Rebuild();
}

std::vector<std::string> TLiveCalendar::Replace(calendar::TSchedule base, std::string holder) {
    const std::lock_guard lock(m_);
    base_ = std::move(base);
    holder_ = std::move(holder);
    return Rebuild();
}

std::vector<std::string> TLiveCalendar::Rebuild() {
    std::vector<std::string> leftOut;
    calendar::TSchedule schedule = base_;
    // Those added here come first: a day both name runs the one a person chose last.
    std::vector<calendar::TException> extra;
    for (const auto& e : added_) {
        if (e.Plan && !schedule.Plans.contains(*e.Plan)) {
            leftOut.push_back("the exception " + std::to_string(e.Id) + " (\"" + e.Name +
                              "\") names the day plan '" + *e.Plan + "', which " + holder_ +
                              " no longer has; it is left out");
            continue;
        }
        extra.push_back({{e.First, e.Last}, e.Plan.value_or(""), e.Name});
    }
    schedule.Exceptions.insert(schedule.Exceptions.begin(), extra.begin(), extra.end());
    current_ = std::make_shared<const calendar::TCalendar>(zone_, std::move(schedule));
    return leftOut;
}

}  // namespace kstbell::service
