// The calendar on a fake clock: clock changes in three zones over a whole year, which rule
// picks a day's plan, the next bells across a year end, due and missed at the tolerance.

#include <gtest/gtest.h>

#include "calendar/calendar.h"
#include "calendar/clock_text.h"

namespace kstbell::calendar {
namespace {

using namespace std::chrono;

sys_seconds Utc(int y, unsigned mo, unsigned d, int h = 0, int mi = 0, int s = 0) {
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s};
}

year_month_day Date(const char* text) {
    return *ParseDate(text);
}

TBell Bell(const char* time, const char* group) {
    return {*ParseTimeOfDay(time), group, 1, 5};
}

TTimeZone Zone(const char* name) {
    return *TTimeZone::Find(name);
}

TEST(TimeZoneTest, ClockChangesResolveToTheFirstInstantAfterAGapAndTheFirstOfARepeat) {
    struct TCase {
        const char* Zone;
        const char* Local;
        sys_seconds Expected;
        bool Moved;
    } cases[] = {
        {"Europe/Berlin", "2027-03-28 02:30", Utc(2027, 3, 28, 1, 0), true},
        {"Europe/Berlin", "2027-03-28 03:00", Utc(2027, 3, 28, 1, 0), false},
        {"Europe/Berlin", "2027-10-31 02:30", Utc(2027, 10, 31, 0, 30), false},
        {"Europe/Berlin", "2027-10-31 03:00", Utc(2027, 10, 31, 2, 0), false},
        {"America/New_York", "2027-03-14 02:59", Utc(2027, 3, 14, 7, 0), true},
        {"America/New_York", "2027-11-07 01:30", Utc(2027, 11, 7, 5, 30), false},
        {"Australia/Sydney", "2027-10-03 02:00", Utc(2027, 10, 2, 16, 0), true},
        {"Australia/Sydney", "2027-04-04 02:30", Utc(2027, 4, 3, 15, 30), false},
        {"UTC", "2027-03-28 02:30", Utc(2027, 3, 28, 2, 30), false},
    };
    for (const auto& c : cases) {
        const std::string text = c.Local;
        const local_seconds local{local_days{Date(text.substr(0, 10).c_str())}.time_since_epoch() +
                                  *ParseTimeOfDay(text.substr(11))};
        const TResolvedTime at = Zone(c.Zone).ToUtc(local);
        EXPECT_EQ(FormatUtc(at.At), FormatUtc(c.Expected)) << c.Zone << " " << c.Local;
        EXPECT_EQ(at.Moved, c.Moved) << c.Zone << " " << c.Local;
    }
    EXPECT_FALSE(TTimeZone::Find("Mars/Olympus_Mons"));
}

// The tz database lists clock changes to 2037; later bells in a zone that still changes its
// clocks would be an hour off half the year, so the calendar stops there instead.
TEST(TimeZoneTest, BellsStopWhereTheDatabaseStopsListingClockChanges) {
    TSchedule schedule;
    schedule.Plans["daily"].Bells = {Bell("08:00", "all")};
    schedule.Week.fill("daily");
    const struct {
        const char* Zone;
        std::size_t BellsFrom2037To2039;
    } cases[] = {{"Europe/Berlin", 365}, {"Australia/Sydney", 365}, {"Asia/Tokyo", 2 * 365}};
    for (const auto& c : cases) {
        const TCalendar calendar(Zone(c.Zone), schedule);
        EXPECT_EQ(calendar.Bells(Utc(2037, 1, 1), Utc(2039, 1, 1)).size(), c.BellsFrom2037To2039)
            << c.Zone;
    }
    EXPECT_EQ(FormatUtc(Zone("Europe/Berlin").KnownUntil()), "2038-01-01T00:00:00Z");
    EXPECT_TRUE(TCalendar(Zone("Europe/Berlin"), schedule).Next(Utc(2038, 1, 1), 3).empty());
}

// Every day of 2027 rings a bell in the spring gap, one in the repeated autumn hour and one at
// 08:00: each exactly once, the first two where the rule puts them, 08:00 always 08:00 local.
TEST(CalendarTest, AWholeYearThroughBothClockChangesInThreeZones) {
    struct TCase {
        const char* Zone;
        const char* GapTime;
        const char* RepeatedTime;
        const char* SpringDay;
        sys_seconds GapBellAt;
        const char* AutumnDay;
        sys_seconds RepeatedBellAt;
    } cases[] = {
        {"Europe/Berlin", "02:30", "02:30", "2027-03-28", Utc(2027, 3, 28, 1, 0), "2027-10-31",
         Utc(2027, 10, 31, 0, 30)},
        {"America/New_York", "02:15", "01:45", "2027-03-14", Utc(2027, 3, 14, 7, 0), "2027-11-07",
         Utc(2027, 11, 7, 5, 45)},
        {"Australia/Sydney", "02:30", "02:30", "2027-10-03", Utc(2027, 10, 2, 16, 0), "2027-04-04",
         Utc(2027, 4, 3, 15, 30)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Zone);
        TSchedule schedule;
        schedule.Plans["daily"].Bells = {Bell("08:00", "all"), Bell(c.GapTime, "gap"),
                                         Bell(c.RepeatedTime, "repeat")};
        schedule.Week.fill("daily");
        const TCalendar calendar(Zone(c.Zone), schedule);
        const auto start = calendar.Zone().ToUtc(local_days{year{2027} / 1 / 1}).At;
        const auto end = calendar.Zone().ToUtc(local_days{year{2028} / 1 / 1}).At;
        const auto bells = calendar.Bells(start, end);
        ASSERT_EQ(bells.size(), 3u * 365u);

        std::vector<hours> morningSpacing;
        sys_seconds lastMorning{};
        for (const auto& bell : bells) {
            const bool spring = bell.Date == Date(c.SpringDay);
            const bool autumn = bell.Date == Date(c.AutumnDay);
            if (bell.Bell.Group == "gap" && spring) {
                EXPECT_TRUE(bell.Moved);
                EXPECT_EQ(FormatUtc(bell.At), FormatUtc(c.GapBellAt));
            } else if (bell.Bell.Group == "repeat" && autumn) {
                EXPECT_EQ(FormatUtc(bell.At), FormatUtc(c.RepeatedBellAt));
            } else if ((!spring && !autumn) || bell.Bell.Group == "all") {
                EXPECT_FALSE(bell.Moved) << FormatDate(bell.Date);
                EXPECT_EQ(bell.Local - floor<days>(bell.Local), bell.Bell.Time)
                    << FormatDate(bell.Date) << " " << bell.Bell.Group;
            }
            if (bell.Bell.Group == "all") {
                if (lastMorning != sys_seconds{})
                    morningSpacing.push_back(duration_cast<hours>(bell.At - lastMorning));
                lastMorning = bell.At;
            }
        }
        EXPECT_EQ(std::count(morningSpacing.begin(), morningSpacing.end(), hours{24}), 362);
        EXPECT_EQ(std::count(morningSpacing.begin(), morningSpacing.end(), hours{23}), 1);
        EXPECT_EQ(std::count(morningSpacing.begin(), morningSpacing.end(), hours{25}), 1);
    }
}

TSchedule SchoolSchedule() {
    TSchedule s;
    s.Plans["school_day"].Bells = {Bell("13:15:30", "ground_floor"), Bell("08:00", "all")};
    s.Plans["short_day"].Bells = {Bell("08:00", "all")};
    for (int d = 0; d < 5; ++d)
        s.Week[d] = "school_day";
    s.Exceptions = {{{Date("2027-02-15"), Date("2027-02-19")}, "", "Winter break"},
                    {{Date("2027-12-23"), Date("2027-12-23")}, "short_day", "Last day"},
                    {{Date("2027-12-25"), Date("2027-12-25")}, "school_day", "Open day"}};
    s.Holidays = {{{Date("2027-12-24"), Date("2028-01-01")}, "Christmas break"},
                  {{Date("2027-12-20"), Date("2027-12-23")}, "Staff days"}};
    return s;
}

TEST(CalendarTest, AnExceptionWinsOverAHolidayAndAHolidayOverTheWeek) {
    const TCalendar calendar(Zone("Europe/Berlin"), SchoolSchedule());
    const struct {
        const char* Date;
        EDayRule Rule;
        const char* Plan;
        const char* Name;
    } cases[] = {
        {"2027-02-12", EDayRule::Week, "school_day", ""},
        {"2027-02-15", EDayRule::Exception, "", "Winter break"},
        {"2027-02-19", EDayRule::Exception, "", "Winter break"},
        {"2027-02-20", EDayRule::Week, "", ""},  // a Saturday
        {"2027-02-22", EDayRule::Week, "school_day", ""},
        {"2027-12-22", EDayRule::Holiday, "", "Staff days"},
        {"2027-12-23", EDayRule::Exception, "short_day", "Last day"},
        {"2027-12-24", EDayRule::Holiday, "", "Christmas break"},
        {"2027-12-25", EDayRule::Exception, "school_day", "Open day"},
        {"2028-01-01", EDayRule::Holiday, "", "Christmas break"},
        {"2028-01-03", EDayRule::Week, "school_day", ""},
    };
    for (const auto& c : cases) {
        const TDayChoice choice = calendar.DayChoice(Date(c.Date));
        EXPECT_EQ(choice.Rule, c.Rule) << c.Date;
        EXPECT_EQ(choice.Plan, c.Plan) << c.Date;
        EXPECT_EQ(choice.Name, c.Name) << c.Date;
    }
    EXPECT_THROW(TCalendar(TTimeZone(), TSchedule{{}, {"missing"}, {}, {}}), std::invalid_argument);
}

TEST(CalendarTest, TheNextBellsSkipHolidaysAcrossTheYearEnd) {
    const TCalendar calendar(Zone("America/New_York"), SchoolSchedule());
    const auto next = calendar.Next(Utc(2027, 12, 23, 13), 4);  // 08:00 local on the 23rd
    std::vector<std::string> seen;
    for (const auto& bell : next)
        seen.push_back(FormatLocal(bell.Local) + " " + bell.Plan);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "2027-12-25 08:00:00 school_day", "2027-12-25 13:15:30 school_day",
                        "2028-01-03 08:00:00 school_day", "2028-01-03 13:15:30 school_day"}));
    EXPECT_EQ(next[0].Rule, EDayRule::Exception);
    EXPECT_TRUE(TCalendar(TTimeZone(), TSchedule{}).Next(Utc(2027, 1, 1), 3).empty());
}

TEST(CalendarTest, ABellIsDueUpToTheToleranceAndMissedAfterIt) {
    TSchedule schedule;
    schedule.Plans["p"].Bells = {Bell("08:00", "a"), Bell("08:00:30", "b")};
    schedule.Week.fill("p");
    const TCalendar calendar(Zone("Europe/Berlin"), schedule);
    const sys_seconds eight = Utc(2027, 6, 1, 6, 0);  // 08:00 CEST
    const struct {
        seconds LastHandled;
        seconds Now;
        std::vector<std::string> Due;
        std::vector<std::string> Missed;
    } cases[] = {
        {-1s, -1s, {}, {}},        {-1s, 0s, {"a"}, {}}, {-1s, 60s, {"a", "b"}, {}},
        {-1s, 61s, {"b"}, {"a"}},  {0s, 61s, {"b"}, {}},  // a was handled before
        {-1h, 3h, {}, {"a", "b"}},                        // the service was down
        {1h, 30s, {}, {}},  // the clock was set back: nothing rings twice
    };
    for (const auto& c : cases) {
        const TDueBells result = calendar.Classify(eight + c.LastHandled, eight + c.Now, 60s);
        std::vector<std::string> due, missed;
        for (const auto& bell : result.Due)
            due.push_back(bell.Bell.Group);
        for (const auto& bell : result.Missed)
            missed.push_back(bell.Bell.Group);
        EXPECT_EQ(due, c.Due) << c.LastHandled.count() << " " << c.Now.count();
        EXPECT_EQ(missed, c.Missed) << c.LastHandled.count() << " " << c.Now.count();
    }
}

}  // namespace
}  // namespace kstbell::calendar
