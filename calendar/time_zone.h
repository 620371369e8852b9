#pragma once

// The site's time zone: an IANA name from the system's time zone database (tzdata), read
// through Howard Hinnant's date library, which the standard library of GCC 12 lacks, and
// after the clock changes that the database lists by the rule at the end of the zone's file.

#include <chrono>
#include <optional>
#include <string>

#include "calendar/posix_tz_rule.h"

namespace date {
class time_zone;
}

namespace kstbell::calendar {

// A local wall-clock time turned into a UTC instant by the calendar's rule for clock changes.
struct TResolvedTime {
    std::chrono::sys_seconds At;
    bool Moved = false;  // the time did not exist that day: At is the first instant after the gap
};

class TTimeZone {
  public:
    TTimeZone();  // UTC

    // The zone of that name, or nothing when the database has none of it.
    static std::optional<TTimeZone> Find(const std::string& name);

    // The same, its rule for the years after the listed clock changes read from
    // rulesFolder/NAME instead of the system's database (a test gives a file without one).
    static std::optional<TTimeZone> Find(const std::string& name, const std::string& rulesFolder);

    // The system's own zone: TZ when it names a zone, else /etc/localtime, else UTC.
    static TTimeZone System();

    const std::string& Name() const { return name_; }

    std::chrono::local_seconds ToLocal(std::chrono::sys_seconds at) const;

    // A time that the clock skips (spring forward) resolves to the first instant after the
    // gap; a time that it shows twice (fall back) resolves to its first occurrence.
    TResolvedTime ToUtc(std::chrono::local_seconds local) const;

    // The database lists clock changes only up to a final year (2037 in Debian's tzdata) and
    // the library does not extend them by the zone's rule; the rule for later years is the TZ
    // string at the end of the zone's file, and times after the last listed change follow it.
    // When the file has no such rule, or one that cannot be read, times from the year after
    // the last listed change on would be off by the summer-time hour in a zone that still
    // changes its clocks. This is the first instant no longer trusted: the maximum for a zone
    // with a rule or without changes left.
    std::chrono::sys_seconds KnownUntil() const { return knownUntil_; }

    // Why KnownUntil() is not the maximum, as a sentence without its full stop; empty when it
    // is.
    const std::string& KnownUntilReason() const { return knownUntilReason_; }

    // The rule followed after the last listed change, if the zone has one.
    const std::optional<TPosixTzRule>& LaterRule() const { return rule_; }

  private:
    TTimeZone(const date::time_zone* zone, const std::string& rulesFolder);

    const date::time_zone* zone_;
    std::string name_;
    std::chrono::sys_seconds knownUntil_;
    std::string knownUntilReason_;
    std::optional<TPosixTzRule> rule_;
    std::chrono::sys_seconds ruleFrom_;         // the rule, not the list, from this instant on
    std::chrono::local_seconds ruleFromLocal_;  // and from this wall-clock time on
};

}  // namespace kstbell::calendar
