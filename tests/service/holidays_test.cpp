// Holidays from iCalendar files: the days an .ics fixture gives, and the files refused.

#include <gtest/gtest.h>

#include "calendar/calendar.h"
#include "calendar/clock_text.h"
#include "calendar/holidays.h"

namespace kstbell::calendar {
namespace {

const std::string kData = KSTBELL_CALENDAR_DATA;

TEST(HolidaysTest, AllDayEventsAreDaysWithoutBells) {
    THolidayFile file;
    std::string error;
    ASSERT_TRUE(ReadHolidays(kData + "/holidays.ics", file, error)) << error;
    EXPECT_EQ(file.TimedEventsLeftOut, 1u);

    TSchedule schedule;
    schedule.Plans["school_day"].Bells = {{std::chrono::hours{8}, "all", 1, 5}};
    schedule.Week.fill("school_day");
    schedule.Holidays = file.Holidays;
    const TCalendar calendar(TTimeZone(), schedule);
    const struct {
        const char* Date;
        const char* Holiday;  // empty: the week's plan runs
    } cases[] = {
        {"2027-12-23", ""},
        {"2027-12-24", "Christmas break"},  // DTEND is the day after the last
        {"2028-01-01", "Christmas break"},
        {"2028-01-02", ""},
        {"2025-05-01", "Founders' day"},  // yearly
        {"2027-05-01", "Founders' day"},
        {"2028-05-01", ""},  // this year's moved by a RECURRENCE-ID
        {"2028-05-02", "Founders' day (moved)"},
        {"2029-05-01", ""},  // EXDATE
        {"2099-05-01", "Founders' day"},
        {"2027-05-13", "Bridge days"},  // DURATION:P2D
        {"2027-05-14", "Bridge days"},
        {"2027-05-15", ""},
        {"2027-03-10", ""},  // a timed event is no holiday
        {"2027-06-10", ""},  // cancelled
    };
    for (const auto& c : cases) {
        const TDayChoice choice = calendar.DayChoice(*ParseDate(c.Date));
        EXPECT_EQ(choice.Name, c.Holiday) << c.Date;
        EXPECT_EQ(choice.Rule == EDayRule::Holiday, *c.Holiday != '\0') << c.Date;
    }
}

std::string Calendar(const std::string& events) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\n" + events +
           "END:VCALENDAR\r\n";
}

std::string Event(const std::string& lines) {
    return "BEGIN:VEVENT\r\nUID:x\r\nSUMMARY:Sports day\r\n" + lines + "END:VEVENT\r\n";
}

TEST(HolidaysTest, AFileThatCannotBeReadWhollyIsRefusedWithTheReason) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "not an iCalendar file"},
        {"Christmas: 2027-12-24\n", "not an iCalendar file"},
        {"BEGIN:VCALENDAR\r\n" + Event("DTSTART;VALUE=DATE:20271224\r\n"), "not an iCalendar file"},
        {Calendar(Event("DTSTART;VALUE=DATE:24.12.2027\r\n")),
         "event 1 ('Sports day'): Can't parse as DATE value in DTSTART"},
        {Calendar(Event("DTSTART;VALUE=DATE:20271224\r\nRRULE:FREQ=SOMETIMES\r\n")),
         "RECUR value in RRULE"},
        {Calendar(Event("DTEND;VALUE=DATE:20271224\r\n")), "event 1 ('Sports day'): no DTSTART"},
        {Calendar(Event("DTSTART;VALUE=DATE:20271345\r\n")), "not a date that exists"},
        {Calendar(Event("DTSTART;VALUE=DATE:20270101\r\nDTEND;VALUE=DATE:20290101\r\n")),
         "lasts more than 366 days"},
        {Calendar(Event("DTSTART;VALUE=DATE:18000101\r\nRRULE:FREQ=DAILY\r\n")),
         "recurs more than 100000 times"},
    };
    for (const auto& [text, reason] : cases) {
        THolidayFile file;
        std::string error;
        EXPECT_FALSE(ParseHolidays(text, file, error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    THolidayFile file;
    std::string error;
    EXPECT_FALSE(ReadHolidays(kData + "/absent.ics", file, error));
    EXPECT_EQ(error, kData + "/absent.ics: cannot be read");
    EXPECT_FALSE(ReadHolidays(kData, file, error));
    EXPECT_EQ(error, kData + ": cannot be read");
}

// Recurring holidays are counted up to kLastHolidayYear. A file whose holiday goes on after it
// says so, and the calendar then ends with that year rather than ring on those holidays.
TEST(HolidaysTest, AHolidayRecurringPastTheLastCountedYearEndsTheCalendarThere) {
    const struct {
        std::string Rules;
        bool GoesOn;
        bool HolidayIn2100;  // on December 24
    } cases[] = {
        {"RRULE:FREQ=YEARLY\r\n", true, true},
        {"RRULE:FREQ=YEARLY;UNTIL=20991231\r\n", false, false},
        {"RRULE:FREQ=YEARLY;UNTIL=21001224\r\n", false, true},
        {"RRULE:FREQ=YEARLY;COUNT=74\r\n", false, true},  // 2027 to 2100
        {"RRULE:FREQ=YEARLY;COUNT=75\r\n", true, true},
        {"RDATE;VALUE=DATE:21501224\r\n", false, false},  // a date is held whenever it is
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Rules);
        THolidayFile file;
        std::string error;
        ASSERT_TRUE(ParseHolidays(Calendar(Event("DTSTART;VALUE=DATE:20271224\r\n" + c.Rules)),
                                  file, error))
            << error;
        EXPECT_EQ(file.RecursPastLastYear, c.GoesOn);

        TSchedule schedule;
        schedule.Plans["daily"].Bells = {{std::chrono::hours{8}, "all", 1, 5}};
        schedule.Week.fill("daily");
        schedule.Holidays = file.Holidays;
        if (file.RecursPastLastYear) schedule.HolidaysCutBy = "/etc/kstbell/holidays.ics";
        const TCalendar calendar(*TTimeZone::Find("Europe/Berlin"), schedule);
        using std::chrono::sys_days;
        const sys_days from{std::chrono::year{2100} / 12 / 20};
        const auto bells = calendar.Bells(from, from + std::chrono::days{30});
        ASSERT_FALSE(bells.empty());
        EXPECT_EQ(FormatDate(bells.back().Date), c.GoesOn ? "2100-12-31" : "2101-01-18");
        EXPECT_EQ(calendar.NextLimit(from),
                  c.GoesOn ? "days from 2101-01-01 on are unknown: holidays are counted only "
                             "up to 2100 and a recurring one in /etc/kstbell/holidays.ics goes "
                             "on after it"
                           : "");
        EXPECT_EQ(calendar.DayChoice(*ParseDate("2100-12-24")).Rule,
                  c.HolidayIn2100 ? EDayRule::Holiday : EDayRule::Week);
    }
}

}  // namespace
}  // namespace kstbell::calendar
