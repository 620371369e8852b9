// The calendar on a fake clock: clock changes in three zones over a whole year, which rule
// picks a day's plan, the next bells across a year end, due and missed at the tolerance.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

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

// A copy of the system's file of the zone under folder, its rule for later years replaced by
// `footer`, or cut off with the line before it when there is none.
void CopyZone(const std::string& folder, const std::string& zone,
              std::optional<std::string> footer) {
    std::ifstream in("/usr/share/zoneinfo/" + zone, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_GT(bytes.size(), 2u);
    ASSERT_EQ(bytes.back(), '\n');
    bytes.erase(bytes.rfind('\n', bytes.size() - 2));
    if (footer) bytes += "\n" + *footer + "\n";
    const std::filesystem::path path = std::filesystem::path(folder) / zone;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// The tz database lists clock changes to 2037; later times follow the rule at the end of the
// zone's file. Without a rule that can be read, later bells in a zone that still changes its
// clocks would be an hour off half the year, so the calendar stops there instead and says why.
TEST(TimeZoneTest, BellsStopWhereTheDatabaseStopsListingClockChanges) {
    const std::string folder = testing::TempDir() + "kstbell_zone_rules";
    std::filesystem::remove_all(folder);
    CopyZone(folder, "Europe/Berlin", std::nullopt);
    CopyZone(folder, "Australia/Sydney", "");
    CopyZone(folder, "America/New_York", "EST5EDT");
    CopyZone(folder, "Europe/Paris", "EST5EDT,M3.2.0,M11.1.0");
    CopyZone(folder, "Asia/Tokyo", std::nullopt);

    TSchedule schedule;
    schedule.Plans["daily"].Bells = {Bell("08:00", "all")};
    schedule.Week.fill("daily");
    const struct {
        const char* Zone;
        bool OwnRules;  // the rules in folder, not the system's
        std::size_t BellsFrom2037To2039;
        const char* Why;  // how KnownUntilReason() ends, @ for the file; "" for no limit
    } cases[] = {
        {"Europe/Berlin", true, 365, "@ holds no rule for later years"},
        {"Australia/Sydney", true, 365, "@ holds no rule for later years"},
        {"America/New_York", true, 365,
         "the rule for later years in @, \"EST5EDT\", cannot be read"},
        {"Europe/Paris", true, 365,
         "the rule for later years in @, \"EST5EDT,M3.2.0,M11.1.0\", does not match the last "
         "listed change"},
        {"Asia/Tokyo", true, 2 * 365, ""},  // no clock changes left to miss
        {"Europe/Berlin", false, 2 * 365, ""},
        {"Australia/Sydney", false, 2 * 365, ""},
        {"Asia/Tokyo", false, 2 * 365, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Zone) + (c.OwnRules ? " without a rule" : ""));
        const auto zone = c.OwnRules ? TTimeZone::Find(c.Zone, folder) : TTimeZone::Find(c.Zone);
        ASSERT_TRUE(zone);
        const TCalendar calendar(*zone, schedule);
        EXPECT_EQ(calendar.Bells(Utc(2037, 1, 1), Utc(2039, 1, 1)).size(), c.BellsFrom2037To2039);
        const std::string why = zone->KnownUntilReason();
        if (*c.Why == '\0') {
            EXPECT_EQ(zone->KnownUntil(), sys_seconds::max());
            EXPECT_EQ(why, "");
            EXPECT_EQ(calendar.NextLimit(Utc(2037, 6, 1)), "");
            continue;
        }
        EXPECT_EQ(FormatUtc(zone->KnownUntil()), "2038-01-01T00:00:00Z");
        std::string expected = c.Why;
        expected.replace(expected.find('@'), 1, folder + "/" + c.Zone);
        EXPECT_EQ(why, "the time zone database lists the clock changes of " + std::string(c.Zone) +
                           " only up to 2037 and " + expected);
        EXPECT_TRUE(calendar.Next(Utc(2038, 1, 1), 3).empty());
        // Next looks two years ahead: the limit is said from two years before it.
        EXPECT_EQ(calendar.NextLimit(Utc(2035, 12, 1)), "");
        EXPECT_EQ(calendar.NextLimit(Utc(2037, 6, 1)),
                  "times from 2038-01-01T00:00:00Z on are unknown: " + why);
    }
}

// A daily evening bell in New York on the last evening of the listed years (its UTC instant
// is already the next year) and in the summer after, which only the zone's rule knows.
TEST(TimeZoneTest, ANewYorkEveningBellRingsOnAfter2037) {
    TSchedule schedule;
    schedule.Plans["daily"].Bells = {Bell("19:00", "all")};
    schedule.Week.fill("daily");
    const TCalendar calendar(Zone("America/New_York"), schedule);
    const struct {
        const char* Date;
        sys_seconds At;
    } cases[] = {
        {"2037-12-31", Utc(2038, 1, 1, 0, 0)},  // EST
        {"2038-03-13", Utc(2038, 3, 14, 0, 0)},
        {"2038-03-14", Utc(2038, 3, 14, 23, 0)},  // EDT from that morning
        {"2038-07-01", Utc(2038, 7, 1, 23, 0)},
        {"2038-11-07", Utc(2038, 11, 8, 0, 0)},  // EST again
    };
    for (const auto& c : cases) {
        const sys_seconds dayStart = sys_days{Date(c.Date)} + hours{12};  // 07:00 or 08:00
        const auto bells = calendar.Bells(dayStart, dayStart + days{2});
        ASSERT_FALSE(bells.empty()) << c.Date;
        EXPECT_EQ(FormatDate(bells.front().Date), c.Date);
        EXPECT_EQ(FormatUtc(bells.front().At), FormatUtc(c.At)) << c.Date;
        EXPECT_EQ(FormatLocal(bells.front().Local), std::string(c.Date) + " 19:00:00") << c.Date;
    }
    const auto next = calendar.Next(Utc(2037, 12, 31, 12), 2);
    ASSERT_EQ(next.size(), 2u);
    EXPECT_EQ(FormatUtc(next[0].At), "2038-01-01T00:00:00Z");
    EXPECT_EQ(FormatUtc(next[1].At), "2038-01-02T00:00:00Z");
    EXPECT_EQ(calendar.NextLimit(Utc(2037, 12, 31)), "");
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
