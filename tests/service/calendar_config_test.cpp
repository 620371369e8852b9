// The calendar's part of the site file: a full file read, and every mistake named by line,
// key and reason.

#include <gtest/gtest.h>

#include <cstdlib>

#include "calendar/calendar.h"
#include "calendar/calendar_config.h"
#include "calendar/clock_text.h"

namespace kstbell::calendar {
namespace {

const std::string kSite = std::string(KSTBELL_CALENDAR_DATA) + "/site.toml";

bool Read(const std::string& text, TCalendarConfig& config, std::vector<config::TError>& errors) {
    return ReadCalendarConfig(toml::parse(text, kSite), kSite, config, errors);
}

TEST(CalendarConfigTest, AFullFileGivesTheCalendar) {
    TCalendarConfig config;
    std::vector<config::TError> errors;
    ASSERT_TRUE(Read(R"([site]
name = "North school"     # the service's key, left alone here
time_zone = "Europe/Berlin"
late_tolerance_s = 90

[schedule.week]
monday = "school_day"
friday = "short_day"

[schedule.day_plans.school_day]
bells = [ { time = "08:00", group = "all", tone = 1, duration_s = 5 },
          { time = 13:15:30, group = "ground_floor", tone = 0, duration_s = 3 } ]

[schedule.day_plans.short_day]
bells = [ { time = "08:00", group = "all", tone = 2, duration_s = 5 } ]

[[schedule.exceptions]]
date = 2027-01-04
no_bells = true

[[schedule.exceptions]]
from = "2027-02-15"
to = "2027-02-19"
plan = "short_day"
name = "Project week"

[schedule.holidays]
ics = ["holidays.ics"]
)",
                     config, errors))
        << config::FormatError(errors.front());
    EXPECT_EQ(config.Zone.Name(), "Europe/Berlin");
    EXPECT_EQ(config.LateTolerance, std::chrono::seconds{90});
    EXPECT_EQ(config.HolidayFiles,
              std::vector<std::string>{std::string(KSTBELL_CALENDAR_DATA) + "/holidays.ics"});
    // Its yearly holiday goes on past the last year that holidays are counted to.
    EXPECT_EQ(config.Schedule.HolidaysCutBy, config.HolidayFiles.front());
    ASSERT_EQ(config.GroupUses.size(), 3u);
    EXPECT_EQ(config.GroupUses[1].Group, "ground_floor");
    EXPECT_EQ(config.GroupUses[1].Line, 12u);
    EXPECT_EQ(config.GroupUses[1].Key, "schedule.day_plans.school_day.bells[1].group");

    const TCalendar calendar(config.Zone, config.Schedule);
    const struct {
        const char* Date;
        const char* Plan;
    } days[] = {{"2027-01-04", ""}, {"2027-01-11", "school_day"},
                {"2027-01-12", ""}, {"2027-02-16", "short_day"},
                {"2027-12-24", ""}, {"2027-01-08", "short_day"}};
    for (const auto& d : days)
        EXPECT_EQ(calendar.DayChoice(*ParseDate(d.Date)).Plan, d.Plan);
    EXPECT_EQ(FormatTimeOfDay(config.Schedule.Plans["school_day"].Bells[1].Time), "13:15:30");

    // Without a time zone in the file, the system's.
    setenv("TZ", ":America/New_York", 1);
    ASSERT_TRUE(Read("[site]\nlate_tolerance_s = 0\n", config, errors));
    unsetenv("TZ");
    EXPECT_EQ(config.Zone.Name(), "America/New_York");

    std::vector<config::TError> groupErrors;
    TCalendarConfig withGroups;
    ASSERT_TRUE(
        Read("[schedule.day_plans.p]\nbells = [{time = \"08:00\", group = \"hall\", tone = "
             "0, duration_s = 1}]\n",
             withGroups, errors));
    CheckBellGroups(
        withGroups, kSite, [](const std::string& g) { return g == "all"; }, groupErrors);
    ASSERT_EQ(groupErrors.size(), 1u);
    EXPECT_EQ(config::FormatError(groupErrors[0]),
              kSite + ":2: key 'schedule.day_plans.p.bells[0].group': no group named 'hall'");
}

TEST(CalendarConfigTest, EveryMistakeIsNamedByLineAndKey) {
    const std::string bell = "{ time = \"08:00\", group = \"all\", tone = 1, duration_s = 5 }";
    const std::string plan = "[schedule.day_plans.p]\nbells = [" + bell + "]\n";
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"[site]\ntime_zone = \"Europe/Berlinn\"\n",
         {":2: key 'site.time_zone': no time zone 'Europe/Berlinn'"}},
        {"[site]\nlate_tolerance_s = -1\n",
         {":2: key 'site.late_tolerance_s': must be an integer from 0 to 3600"}},
        {"[schedule]\nweeks = {}\n", {":2: key 'schedule.weeks': unknown key"}},
        {"[schedule.week]\nmonday = \"school\"\nfunday = \"school\"\n",
         {":2: key 'schedule.week.monday': no day plan named 'school'",
          ":3: key 'schedule.week.funday': unknown key (monday to sunday are)"}},
        {"[schedule.day_plans.p]\nbells = [\n { time = \"24:00\", group = \"all\", tone = 4, "
         "duration_s = 0 },\n { group = \"\", tone = 1, duration_s = 5, volume = 3 } ]\n",
         {":3: key 'schedule.day_plans.p.bells[0].duration_s': must be an integer from 1 to 86400",
          ":3: key 'schedule.day_plans.p.bells[0].time': must be a time of day",
          ":3: key 'schedule.day_plans.p.bells[0].tone': must be an integer from 0 to 3",
          ":4: key 'schedule.day_plans.p.bells[1].group': must be a text that is not empty",
          ":4: key 'schedule.day_plans.p.bells[1].volume': unknown key",
          ":4: key 'schedule.day_plans.p.bells[1].time': is missing"}},
        {"[schedule.day_plans.p]\nbells = [" + bell + ",\n " + bell + "]\n",
         {":3: key 'schedule.day_plans.p.bells[1]': rings 'all' at 08:00:00 as the bell on line "
          "2"}},
        {plan + "[[schedule.exceptions]]\ndate = \"2027-02-30\"\nno_bells = true\n",
         {":4: key 'schedule.exceptions[0].date': must be a date that exists"}},
        {plan + "[[schedule.exceptions]]\nfrom = 2027-02-19\nto = 2027-02-15\nplan = \"p\"\n",
         {":5: key 'schedule.exceptions[0].to': comes before from"}},
        {plan + "[[schedule.exceptions]]\nfrom = 2027-02-19\nno_bells = false\n",
         {":3: key 'schedule.exceptions[0].to': is missing",
          ":5: key 'schedule.exceptions[0].no_bells': must be true"}},
        {plan + "[[schedule.exceptions]]\ndate = 2027-02-19\nplan = \"q\"\n",
         {":5: key 'schedule.exceptions[0].plan': no day plan named 'q'"}},
        {plan + "[[schedule.exceptions]]\ndate = 2027-02-19\n",
         {":3: key 'schedule.exceptions[0].plan': is missing (or give no_bells = true)"}},
        {plan + "[[schedule.exceptions]]\nfrom = 2027-02-01\nto = 2027-02-28\nno_bells = true\n"
                "[[schedule.exceptions]]\ndate = 2027-02-03\nplan = \"p\"\n"
                "[[schedule.exceptions]]\ndate = 2027-02-27\nplan = \"p\"\n",
         {":7: key 'schedule.exceptions[1]': overlaps the exception on line 3 on 2027-02-03",
          ":10: key 'schedule.exceptions[2]': overlaps the exception on line 3 on 2027-02-27"}},
        {"[schedule.holidays]\nics = \"absent.ics\"\nurl = \"https://x\"\n",
         {":2: key 'schedule.holidays.ics': " + std::string(KSTBELL_CALENDAR_DATA) +
              "/absent.ics: cannot be read",
          ":3: key 'schedule.holidays.url': unknown key (ics is)"}},
    };
    for (const auto& [text, expected] : cases) {
        TCalendarConfig config;
        std::vector<config::TError> errors;
        EXPECT_FALSE(Read(text, config, errors)) << text;
        std::vector<std::string> found;
        for (const auto& e : errors)
            found.push_back(config::FormatError(e));
        ASSERT_EQ(found.size(), expected.size()) << text << "\n" << ::testing::PrintToString(found);
        for (std::size_t i = 0; i < found.size(); ++i)
            EXPECT_NE(found[i].find(kSite + expected[i]), std::string::npos) << found[i];
    }
}

}  // namespace
}  // namespace kstbell::calendar
