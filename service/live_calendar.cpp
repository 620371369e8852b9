#include "service/live_calendar.h"

namespace kstbell::service {

TLiveCalendar::TLiveCalendar(calendar::TTimeZone zone, calendar::TSchedule fileSchedule)
    : zone_(std::move(zone)),
      file_(std::move(fileSchedule)),
      current_(std::make_shared<const calendar::TCalendar>(zone_, file_)) {}

std::shared_ptr<const calendar::TCalendar> TLiveCalendar::Current() const {
    const std::lock_guard lock(m_);
    return current_;
}

std::vector<std::string> TLiveCalendar::Update(
    const std::vector<store::TScheduleException>& added) {
    std::vector<std::string> leftOut;
    calendar::TSchedule schedule = file_;
    // Those added here come first: a day both name runs the one a person chose last.
    std::vector<calendar::TException> extra;
    for (const auto& e : added) {
        if (e.Plan && !schedule.Plans.contains(*e.Plan)) {
            leftOut.push_back("the exception " + std::to_string(e.Id) + " (\"" + e.Name +
                              "\") names the day plan '" + *e.Plan +
                              "', which the site file no longer has; it is left out");
            continue;
        }
        extra.push_back({{e.First, e.Last}, e.Plan.value_or(""), e.Name});
    }
    schedule.Exceptions.insert(schedule.Exceptions.begin(), extra.begin(), extra.end());
    auto built = std::make_shared<const calendar::TCalendar>(zone_, std::move(schedule));
    const std::lock_guard lock(m_);
    current_ = std::move(built);
    return leftOut;
}

}  // namespace kstbell::service
