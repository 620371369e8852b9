#pragma once

// A zone's rule for the years after its listed clock changes, as a TZ string such as
// "EST5EDT,M3.2.0,M11.1.0": standard time's name and offset west of Greenwich, then, if the
// zone has summer time, its name, its offset (an hour less when left out) and the two days and
// local times on which it starts and ends. Days are Mm.w.d (weekday d, 0 = Sunday, of week w,
// 5 = the last, of month m), Jn (the n-th day counting no February 29) or n (from 0, counting
// February 29); times default to 02:00 and may be negative or past 24 h. Also the reader that
// finds that string at the end of a binary tz file (TZif, version 2 or later).

#include <chrono>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kstbell::calendar {

// One change of the clock: at that instant the offset from UTC goes from Before to After
// (east of Greenwich positive).
struct TClockChange {
    std::chrono::sys_seconds At;
    std::chrono::seconds Before;
    std::chrono::seconds After;
};

class TPosixTzRule {
  public:
    // The rule, or nothing when the text is not one: a rule with summer time but without the
    // days on which it starts and ends is not taken either.
    static std::optional<TPosixTzRule> Parse(std::string_view text);

    bool HasSummerTime() const { return summer_.has_value(); }
    std::chrono::seconds StandardOffset() const { return standard_; }

    std::chrono::seconds OffsetAt(std::chrono::sys_seconds at) const;

    // The first change after `after` (it may be years later only for a rule without summer
    // time, which has none: nothing then).
    std::optional<TClockChange> NextChange(std::chrono::sys_seconds after) const;

    // The wall clock's offsets: the larger and the smaller of the two (equal without summer
    // time).
    std::chrono::seconds LargestOffset() const;
    std::chrono::seconds SmallestOffset() const;

  private:
    struct TDay {
        enum class EKind { MonthWeekDay, JulianNoLeap, DayFromZero } Kind = EKind::MonthWeekDay;
        int Month = 0, Week = 0, WeekDay = 0, Day = 0;
        std::chrono::seconds Time{2 * 3600};
        std::chrono::sys_days In(std::chrono::year y) const;
    };
    struct TSummer {
        std::chrono::seconds Offset;
        TDay Start, End;
    };

    // The changes of the years y - 1 to y + 1 (and some of y - 2), in time order, each a real
    // change, and the offset before the first of them.
    struct TWindow {
        std::chrono::seconds Initial;
        std::vector<TClockChange> Changes;
    };
    TWindow ChangesAround(std::chrono::year y) const;

    std::chrono::seconds standard_{0};
    std::optional<TSummer> summer_;
};

// The TZ string in the footer of a TZif file of version 2 or later: nothing when the data
// is no such file or has no footer (version 1); an empty string when the file says it has no
// rule for later times.
std::optional<std::string> ReadTzifFooter(std::istream& in);

}  // namespace kstbell::calendar
