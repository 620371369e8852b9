#pragma once

// The calendar as it is now: the timetable (the site file's, or the one kept in the database)
// with the exceptions added while the service runs (kept in the store). Readers take the
// current calendar and keep it as long as they need it; a change builds a new one and swaps it
// in, so a reader never sees one half made. Safe to call from several threads.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "calendar/calendar.h"
#include "store/schedule_exceptions.h"

namespace kstbell::service {

class TLiveCalendar {
  public:
    TLiveCalendar(calendar::TTimeZone zone, calendar::TSchedule fileSchedule);

    std::shared_ptr<const calendar::TCalendar> Current() const;
    // The timetable the calendar is built on, with the site file's exceptions (none when the
    // timetable is the database's), without those added while the service runs.
    calendar::TSchedule Base() const;

    // Rebuilds the calendar from the timetable and these added exceptions. An added exception
    // whose plan the timetable no longer has is left out; the sentences say which.
    std::vector<std::string> Update(const std::vector<store::TScheduleException>& added);
    // Rebuilds it on another timetable, with the exceptions given last to Update. holder names
    // where the timetable is kept in what is left out.
    std::vector<std::string> Replace(calendar::TSchedule base,
                                     std::string holder = "the site file");

  private:
    std::vector<std::string> Rebuild();  // under m_

    calendar::TTimeZone zone_;
    mutable std::mutex m_;
    calendar::TSchedule base_;
    std::string holder_ = "the site file";
    std::vector<store::TScheduleException> added_;
    std::shared_ptr<const calendar::TCalendar> current_;
};

}  // namespace kstbell::service
