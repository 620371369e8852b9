// A zone's rule for the years after its listed clock changes: the forms of the TZ string and
// the changes they give, and four zones from 2030 to 2060 against a table that Python's
// zoneinfo computed (data/tz_2030_2060.txt, made by data/tz_2030_2060.py).

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "calendar/clock_text.h"
#include "calendar/posix_tz_rule.h"
#include "calendar/time_zone.h"

namespace kstbell::calendar {
namespace {

using namespace std::chrono;

const std::string kZoneTable = std::string(KSTBELL_CALENDAR_DATA) + "/tz_2030_2060.txt";

// "YYYY-MM-DDTHH:MM:SSZ"
sys_seconds Instant(const std::string& text) {
    return sys_days{*ParseDate(text.substr(0, 10))} + *ParseTimeOfDay(text.substr(11, 8));
}

std::string ChangeText(const TClockChange& change) {
    return FormatUtc(change.At) + " " + std::to_string(change.Before.count()) + " " +
           std::to_string(change.After.count());
}

TEST(PosixTzRuleTest, EachFormOfTheRuleGivesItsChanges) {
    const struct {
        const char* Rule;
        long OffsetAtNewYear2040;  // seconds east of UTC
        const char* FirstChange;   // the first two changes after 2040-01-01, "" for none
        const char* SecondChange;
    } cases[] = {
        {"EST5EDT,M3.2.0,M11.1.0", -18000, "2040-03-11T07:00:00Z -18000 -14400",
         "2040-11-04T06:00:00Z -14400 -18000"},
        // Southern: summer time at the new year; the end time in summer time's own clock.
        {"AEST-10AEDT,M10.1.0,M4.1.0/3", 39600, "2040-03-31T16:00:00Z 39600 36000",
         "2040-10-06T16:00:00Z 36000 39600"},
        // Quoted names, half an hour of summer time.
        {"<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", 39600, "2040-03-31T15:00:00Z 39600 37800",
         "2040-10-06T15:30:00Z 37800 39600"},
        // A negative time: the change is the evening before, local time.
        {"<-02>2<-01>,M3.5.0/-1,M10.5.0/0", -7200, "2040-03-25T01:00:00Z -7200 -3600",
         "2040-10-28T01:00:00Z -3600 -7200"},
        // A time past 24 h: Thursday 26:00 is Friday 02:00.
        {"IST-2IDT,M3.4.4/26,M10.5.0", 7200, "2040-03-23T00:00:00Z 7200 10800",
         "2040-10-27T23:00:00Z 10800 7200"},
        // Summer time behind standard time.
        {"IST-1GMT0,M10.5.0,M3.5.0/1", 0, "2040-03-25T01:00:00Z 0 3600",
         "2040-10-28T01:00:00Z 3600 0"},
        // Jn skips February 29 (J60 is March 1), n counts it (59 is February 29 in 2040).
        {"XXX3YYY,J60/0,J300/0", -10800, "2040-03-01T03:00:00Z -10800 -7200",
         "2040-10-27T02:00:00Z -7200 -10800"},
        {"XXX3YYY,59/0,299/0", -10800, "2040-02-29T03:00:00Z -10800 -7200",
         "2040-10-26T02:00:00Z -7200 -10800"},
        {"<+0330>-3:30<+0430>,J80/0,J264/0", 12600, "2040-03-20T20:30:00Z 12600 16200",
         "2040-09-20T19:30:00Z 16200 12600"},
        {"<+0545>-5:45:00", 20700, "", ""},
        {"JST-9", 32400, "", ""},
        // Summer time all year: the end meets the next year's start.
        {"EST5EDT,0/0,J365/25", -14400, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Rule);
        const auto rule = TPosixTzRule::Parse(c.Rule);
        ASSERT_TRUE(rule);
        const sys_seconds newYear = sys_days{year{2040} / January / 1};
        EXPECT_EQ(rule->OffsetAt(newYear).count(), c.OffsetAtNewYear2040);
        const auto first = rule->NextChange(newYear);
        ASSERT_EQ(first.has_value(), *c.FirstChange != '\0');
        if (!first) continue;
        EXPECT_EQ(ChangeText(*first), c.FirstChange);
        const auto second = rule->NextChange(first->At);
        ASSERT_TRUE(second);
        EXPECT_EQ(ChangeText(*second), c.SecondChange);
        EXPECT_EQ(rule->OffsetAt(first->At - seconds{1}), first->Before);
        EXPECT_EQ(rule->OffsetAt(first->At), first->After);
    }

    for (const char* wrong :
         {"", "E5", "EST", "EST5EDT", "EST5EDT,M3.2.0", "EST5EDT,M13.2.0,M11.1.0",
          "EST5EDT,M3.6.0,M11.1.0", "EST5EDT,M3.2.7,M11.1.0", "EST5EDT,M3.0.0,M11.1.0",
          "EST5EDT,J0,J365", "EST5EDT,366,J365", "EST5EDT,M3.2.0/168,M11.1.0", "EST25", "EST5:60",
          "<+1030-10:30", "<+1>-1", "EST5EDT,M3.2.0,M11.1.0x", "EST5 EDT"}) {
        EXPECT_FALSE(TPosixTzRule::Parse(wrong)) << wrong;
    }
}

// Every change of the table at its instant, the offsets either side of it, and the wall-clock
// times on either side of it turned back into instants by the calendar's rule.
TEST(PosixTzRuleTest, FourZonesFrom2030To2060MatchAnIndependentTable) {
    std::ifstream file(kZoneTable);
    ASSERT_TRUE(file);
    std::map<std::string, std::size_t> changesOf;
    std::map<std::string, sys_seconds> lastOf;
    std::map<std::string, long> offsetOf;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, at;
        long before = 0, after = 0;
        fields >> name >> at;
        SCOPED_TRACE(line);
        const auto zone = TTimeZone::Find(name);
        ASSERT_TRUE(zone);
        EXPECT_EQ(zone->KnownUntil(), sys_seconds::max());
        auto offset = [&](sys_seconds t) {
            return (zone->ToLocal(t).time_since_epoch() - t.time_since_epoch()).count();
        };
        if (at == "from") {
            std::string from;
            fields >> from >> before;
            lastOf[name] = Instant(from);
            offsetOf[name] = before;
            EXPECT_EQ(offset(lastOf[name]), before);
            continue;
        }
        fields >> before >> after;
        const sys_seconds change = Instant(at);
        EXPECT_EQ(offset(change - seconds{1}), before);
        EXPECT_EQ(offset(change), after);
        // No change in between that the table lacks: the offset halfway and a day either side.
        EXPECT_EQ(offsetOf[name], before);
        EXPECT_EQ(offset(lastOf[name] + (change - lastOf[name]) / 2), before);
        EXPECT_EQ(offset(change - days{1}), before);
        EXPECT_EQ(offset(change + days{1}), after);

        const local_seconds firstAfter{change.time_since_epoch() + seconds{after}};
        const local_seconds lastBefore{change.time_since_epoch() + seconds{before} - seconds{1}};
        const TResolvedTime atFirst = zone->ToUtc(firstAfter);
        const TResolvedTime atLast = zone->ToUtc(lastBefore);
        EXPECT_EQ(FormatUtc(atLast.At), FormatUtc(change - seconds{1}));
        EXPECT_FALSE(atLast.Moved);
        if (after > before) {
            // Spring: the wall clock's last second before the change is followed by a gap,
            // whose times ring at the change.
            EXPECT_EQ(FormatUtc(atFirst.At), FormatUtc(change));
            const TResolvedTime inGap =
                zone->ToUtc(local_seconds{change.time_since_epoch() + seconds{before}});
            EXPECT_EQ(FormatUtc(inGap.At), FormatUtc(change));
            EXPECT_TRUE(inGap.Moved);
        } else {
            // Autumn: the time after the change was shown once before; the first counts.
            EXPECT_EQ(FormatUtc(atFirst.At), FormatUtc(change - seconds{before - after}));
            EXPECT_FALSE(atFirst.Moved);
        }
        lastOf[name] = change;
        offsetOf[name] = after;
        ++changesOf[name];
    }
    const std::map<std::string, std::size_t> expected = {{"America/New_York", 62},
                                                         {"Europe/Berlin", 62},
                                                         {"Australia/Sydney", 62},
                                                         {"Australia/Lord_Howe", 62}};
    EXPECT_EQ(changesOf, expected);

    // The rules that those zones' files end with.
    const struct {
        const char* Zone;
        const char* Rule;
    } footers[] = {{"America/New_York", "EST5EDT,M3.2.0,M11.1.0"},
                   {"Europe/Berlin", "CET-1CEST,M3.5.0,M10.5.0/3"},
                   {"Australia/Sydney", "AEST-10AEDT,M10.1.0,M4.1.0/3"},
                   {"Australia/Lord_Howe", "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0"}};
    for (const auto& f : footers) {
        std::ifstream zoneFile(std::string("/usr/share/zoneinfo/") + f.Zone, std::ios::binary);
        EXPECT_EQ(ReadTzifFooter(zoneFile).value_or("(none)"), f.Rule) << f.Zone;
    }
}

}  // namespace
}  // namespace kstbell::calendar
