// ISO dates, times of day and instants: read only in their one spelling, written always in it.

#include <gtest/gtest.h>

#include <string>

#include "text/iso_time.h"

namespace kstbell::text::test {
namespace {

using namespace std::chrono;

TEST(TextIsoTime, DatesAreReadInTheirOneSpelling) {
    struct TCase {
        std::string Text;
        std::optional<year_month_day> Date;
    };
    const TCase cases[] = {
        {"2027-01-07", year(2027) / January / 7},
        {"2028-02-29", year(2028) / February / 29},
        {"0000-01-01", year(0) / January / 1},
        {"9999-12-31", year(9999) / December / 31},
        {"2027-02-29", std::nullopt},
        {"2027-04-31", std::nullopt},
        {"2027-13-01", std::nullopt},
        {"2027-00-10", std::nullopt},
        {"2027-01-00", std::nullopt},
        {"2027-1-07", std::nullopt},
        {"2027-01-7", std::nullopt},
        {"2027-1-7", std::nullopt},
        {"27-01-07", std::nullopt},
        {"2027-01-07x", std::nullopt},
        {"2027-01-07 ", std::nullopt},
        {" 2027-01-07", std::nullopt},
        {"+027-01-07", std::nullopt},
        {"-027-01-07", std::nullopt},
        {"2027-+1-07", std::nullopt},
        {"2027/01/07", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseDate(c.Text), c.Date) << c.Text;
}

TEST(TextIsoTime, TimesOfDayAreReadInTheirOneSpelling) {
    struct TCase {
        std::string Text;
        std::optional<seconds> Time;
    };
    const TCase cases[] = {
        {"00:00", seconds(0)},
        {"08:00", hours(8)},
        {"13:15:30", hours(13) + minutes(15) + seconds(30)},
        {"23:59:59", hours(23) + minutes(59) + seconds(59)},
        {"24:00", std::nullopt},
        {"24:00:00", std::nullopt},
        {"23:60", std::nullopt},
        {"22:60", std::nullopt},
        {"08:99:00", std::nullopt},
        {"07:97", std::nullopt},
        {"30:00", std::nullopt},
        {"12:00:60", std::nullopt},
        {"8:00", std::nullopt},
        {"08:0", std::nullopt},
        {"08:00:0", std::nullopt},
        {"08:00:", std::nullopt},
        {"08-00", std::nullopt},
        {"08:00x", std::nullopt},
        {"08:00:00x", std::nullopt},
        {"+8:00", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseTimeOfDay(c.Text), c.Time) << c.Text;
}

TEST(TextIsoTime, DatesTimesAndInstantsAreWritten) {
    const sys_days day = year(2027) / January / 7;
    EXPECT_EQ(FormatDate(year(2027) / January / 7), "2027-01-07");
    EXPECT_EQ(FormatDate(year(7) / December / 31), "0007-12-31");
    EXPECT_EQ(FormatTimeOfDay(seconds(0)), "00:00:00");
    EXPECT_EQ(FormatTimeOfDay(hours(13) + minutes(5) + seconds(9)), "13:05:09");
    EXPECT_EQ(FormatLocal(local_days(year(2027) / March / 28) + hours(2) + minutes(30)),
              "2027-03-28 02:30:00");
    EXPECT_EQ(FormatLocal(local_days(year(2027) / March / 28) + hours(2), 'T'),
              "2027-03-28T02:00:00");
    EXPECT_EQ(FormatUtc(day + hours(8) + seconds(1)), "2027-01-07T08:00:01Z");
    EXPECT_EQ(FormatUtc(sys_seconds(seconds(-1))), "1969-12-31T23:59:59Z");
    EXPECT_EQ(FormatUtcMillis(day + hours(8) + milliseconds(7)), "2027-01-07T08:00:00.007Z");
    EXPECT_EQ(FormatUtcMillis(sys_time<milliseconds>(milliseconds(-1))),
              "1969-12-31T23:59:59.999Z");
    EXPECT_EQ(FormatUtcMillis(sys_time<milliseconds>()), "1970-01-01T00:00:00.000Z");
}

TEST(TextIsoTime, Rfc3339InstantsAreReadWithTheirOffset) {
    const auto base = sys_days(year(2027) / January / 7) + hours(8);
    struct TCase {
        std::string Text;
        std::optional<sys_time<milliseconds>> At;
    };
    const TCase cases[] = {
        {"2027-01-07T08:00:00Z", base},
        {"2027-01-07t08:00:00z", base},
        {"2027-01-07 09:00:00+01:00", base},
        {"2027-01-07T07:30:00-00:30", base},
        {"2027-01-07T08:00:00.25Z", base + milliseconds(250)},
        {"2027-01-07T08:00:00.123456789Z", base + milliseconds(123)},
        {"2027-01-07T07:59:60Z", base - seconds(1)},
        {"1900-01-01T00:00:00Z", sys_days(year(1900) / January / 1)},
        {"2027-01-07", std::nullopt},
        {"2027-01-07T08:00:00", std::nullopt},
        {"2027-02-29T08:00:00Z", std::nullopt},
        {"2027-1-07T08:00:00Z", std::nullopt},
        {"2027-01-07T24:00:00Z", std::nullopt},
        {"2027-01-07T08:60:00Z", std::nullopt},
        {"2027-01-07T08:00:61Z", std::nullopt},
        {"2027-01-07T08:00:00+1:00", std::nullopt},
        {"2027-01-07T08:00:00+01", std::nullopt},
        {"2027-01-07T08:00:00+24:00", std::nullopt},
        {"2027-01-07T08:00:00.Z", std::nullopt},
        {"2027-01-07T08:00:00.1234567890Z", std::nullopt},
        {"2027-01-07T08:00:00Zx", std::nullopt},
        {"2027-01-07X08:00:00Z", std::nullopt},
        {"9999-12-31T00:00:00Z", std::nullopt},
        {"1800-01-01T00:00:00Z", std::nullopt},
        {"yesterday", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseRfc3339(c.Text), c.At) << c.Text;
}

}  // namespace
}  // namespace kstbell::text::test
