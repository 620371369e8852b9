#pragma once

// The calendar as it is now: the site file's timetable with the exceptions added while the
// service runs (kept in the store). Readers take the current calendar and keep it as long as
// they need it; a change builds a new one and swaps it in, so a reader never sees one half
// made. Safe to call from several threads.

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
    const calendar::TSchedule& FileSchedule() const { return file_; }

    // Rebuilds the calendar from the file's timetable and these added exceptions. An added
    // exception whose plan the file no longer has is left out; the sentences say which.
    std::vector<std::string> Update(const std::vector<store::TScheduleException>& added);

  private:
    calendar::TTimeZone zone_;
    calendar::TSchedule file_;
    mutable std::mutex m_;
    std::shared_ptr<const calendar::TCalendar> current_;
};

}  // namespace kstbell::service
