#pragma once

// The site's time zone: an IANA name from the system's time zone database (tzdata), read
// through Howard Hinnant's date library, which the standard library of GCC 12 lacks.

#include <chrono>
#include <optional>
#include <string>

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

    // The system's own zone: TZ when it names a zone, else /etc/localtime, else UTC.
    static TTimeZone System();

    const std::string& Name() const { return name_; }

    std::chrono::local_seconds ToLocal(std::chrono::sys_seconds at) const;

    // A time that the clock skips (spring forward) resolves to the first instant after the
    // gap; a time that it shows twice (fall back) resolves to its first occurrence.
    TResolvedTime ToUtc(std::chrono::local_seconds local) const;

    // The database lists clock changes only up to a final year (2037 in Debian's tzdata) and
    // the library does not extend them by the zone's rule; in a zone that still changes its
    // clocks, times from the year after onward would be off by the summer-time hour. This is
    // the first instant no longer trusted: the maximum for a zone without changes left.
    std::chrono::sys_seconds KnownUntil() const { return knownUntil_; }

  private:
    explicit TTimeZone(const date::time_zone* zone);

    const date::time_zone* zone_;
    std::string name_;
    std::chrono::sys_seconds knownUntil_;
};

}  // namespace kstbell::calendar
