// The demo site of `kstbelld --simulate N`: a valid site file for 1 to 500 horns, named after
// rooms and each in a group, a school day's bells, and a bell a minute after the start
// whatever the day and hour.

#include <gtest/gtest.h>

#include <set>

#include "calendar/calendar.h"
#include "calendar/clock_text.h"
#include "service/demo_config.h"
#include "service/site_file.h"

namespace kstbell::service {
namespace {

using namespace std::chrono;

std::vector<std::string> DemoAddresses(std::size_t count) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i)
        out.push_back("127.0." + std::to_string(78 + i / 250) + "." + std::to_string(1 + i % 250));
    return out;
}

std::string BellLocal(const calendar::TScheduledBell& bell) {
    return calendar::FormatLocal(bell.Local);
}

TEST(DemoSiteTest, IsASchoolWithABellAMinuteAfterTheStart) {
    const local_days wednesday{year{2027} / 1 / 6}, saturday{year{2027} / 1 / 9};
    struct TCase {
        const char* What;
        std::size_t Horns;
        local_seconds Start;
        std::string FirstBell;  // a minute after the start, in the plan "demo"
        int FirstDurationS;
        std::string SecondBell;
        std::string LastName;  // the last horn's
    } const cases[] = {
        {"a weekday's lesson, 50 horns", 50, wednesday + 10h + 30min + 15s, "2027-01-06 10:31:15",
         3, "2027-01-06 10:35:00", "Room 219"},
        {"a Saturday: a school day all the same", 3, saturday + 14h, "2027-01-09 14:01:00", 3,
         "2027-01-09 14:40:00", "Playground"},
        {"just before midnight: tomorrow's plan", 500, wednesday + 23h + 59min + 30s,
         "2027-01-07 00:00:30", 3, "2027-01-07 08:00:00", "Block 10 Room 219"},
        {"a minute before the first bell, which is the one heard", 1, wednesday + 7h + 59min,
         "2027-01-06 08:00:00", 5, "2027-01-06 08:45:00", "Entrance"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TServiceConfig config;
        std::vector<std::string> errors;
        const std::string text = DemoConfig(DemoAddresses(c.Horns), c.Start);
        ASSERT_TRUE(ReadSiteText(text, kDemoConfigName, config, errors))
            << (errors.empty() ? "" : errors.front()) << "\n"
            << text;

        ASSERT_EQ(config.Horns.size(), c.Horns);
        std::set<std::string> names;
        for (const auto& horn : config.Horns)
            names.insert(horn.Name);
        EXPECT_EQ(names.size(), c.Horns) << "every horn has a name of its own";
        EXPECT_EQ(config.Horns.front().Name, "Entrance");
        EXPECT_EQ(config.Horns.back().Name, c.LastName);
        EXPECT_TRUE(config.Inputs.front().has_value()) << "the entrance's input starts an alarm";

        std::size_t grouped = 0;
        for (const char* name : {"ground_floor", "first_floor", "outdoor"}) {
            const TGroup* group = config.FindGroup(name);
            ASSERT_NE(group, nullptr) << name;
            EXPECT_FALSE(group->Horns.empty()) << name;
            grouped += group->Horns.size();
        }
        if (c.Horns >= 3) {
            EXPECT_EQ(grouped, c.Horns) << "each horn in one of the groups";
        }

        const calendar::TCalendar calendar(config.Calendar.Zone, config.Calendar.Schedule);
        const auto start = config.Calendar.Zone.ToUtc(c.Start).At;
        const auto bells = calendar.Next(start, 2);
        ASSERT_EQ(bells.size(), 2u);
        EXPECT_EQ(bells[0].At, start + 1min);
        EXPECT_EQ(BellLocal(bells[0]), c.FirstBell);
        EXPECT_EQ(bells[0].Plan, "demo");
        EXPECT_EQ(bells[0].Bell.Group, "all");
        EXPECT_EQ(bells[0].Bell.DurationS, c.FirstDurationS);
        EXPECT_EQ(BellLocal(bells[1]), c.SecondBell);
    }
}

TEST(DemoSiteTest, RingsASchoolDayOnWeekdaysOnly) {
    TServiceConfig config;
    std::vector<std::string> errors;
    const local_days friday{year{2027} / 1 / 8};
    ASSERT_TRUE(
        ReadSiteText(DemoConfig(DemoAddresses(20), friday + 9h), kDemoConfigName, config, errors));
    const calendar::TCalendar calendar(config.Calendar.Zone, config.Calendar.Schedule);
    // From the Monday after the demo's Friday: a week of school days, 19 bells each.
    const auto monday = config.Calendar.Zone.ToUtc(local_days{year{2027} / 1 / 11}).At;
    const auto week = calendar.Next(monday, 5 * 19 + 1);
    ASSERT_EQ(week.size(), 5u * 19 + 1);
    EXPECT_EQ(BellLocal(week.front()), "2027-01-11 08:00:00");
    EXPECT_EQ(BellLocal(week[18]), "2027-01-11 15:30:00");
    EXPECT_EQ(BellLocal(week[5 * 19 - 1]), "2027-01-15 15:30:00");
    EXPECT_EQ(BellLocal(week.back()), "2027-01-18 08:00:00") << "no bells at the weekend";
    std::set<std::string> groups;
    for (const auto& bell : week) {
        EXPECT_EQ(bell.Plan, "school_day");
        groups.insert(bell.Bell.Group);
    }
    EXPECT_EQ(groups, (std::set<std::string>{"all", "outdoor"}));
}

}  // namespace
}  // namespace kstbell::service
