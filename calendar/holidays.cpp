#include "calendar/holidays.h"

#include <libical/ical.h>

#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <utility>

namespace kstbell::calendar {

namespace {

using namespace std::chrono;

constexpr std::size_t kMaxFileBytes = 8u << 20;
// Occurrences of recurring events in one file: a yearly holiday to kLastHolidayYear is about
// a hundred; this stops a rule such as FREQ=DAILY from 1900 before it fills the memory.
constexpr std::size_t kMaxOccurrences = 100000;
constexpr days kLongestHoliday{366};

struct TComponentFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
struct TIteratorFree {
    void operator()(icalrecur_iterator* i) const { icalrecur_iterator_free(i); }
};

std::optional<sys_days> DayOf(const icaltimetype& t) {
    if (icaltime_is_null_time(t)) return std::nullopt;
    const year_month_day date{year{t.year}, month{static_cast<unsigned>(t.month)},
                              day{static_cast<unsigned>(t.day)}};
    if (!date.ok()) return std::nullopt;
    return sys_days{date};
}

std::string Text(const char* text) {
    return text ? text : "";
}

class TIcsReader {
  public:
    explicit TIcsReader(THolidayFile& out) : out_(out) {}

    bool Read(icalcomponent* root) {
        std::vector<icalcomponent*> calendars;
        const icalcomponent_kind kind = icalcomponent_isa(root);
        if (kind == ICAL_VCALENDAR_COMPONENT) {
            calendars.push_back(root);
        } else if (kind == ICAL_XROOT_COMPONENT) {
            for (auto* c = icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT); c;
                 c = icalcomponent_get_next_component(root, ICAL_VCALENDAR_COMPONENT))
                calendars.push_back(c);
        }
        if (calendars.empty()) return Fail("not an iCalendar file (no VCALENDAR)");
        for (auto* calendar : calendars) {
            if (!CheckErrors(calendar, "the calendar")) return false;
            NoteMovedOccurrences(calendar);
        }
        for (auto* calendar : calendars) {
            for (auto* e = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); e;
                 e = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
                ++eventNumber_;
                if (!Event(e)) return false;
            }
        }
        return true;
    }

    std::string Error;

  private:
    bool Fail(const std::string& what) {
        Error = what;
        return false;
    }

    static std::string EventName(icalcomponent* event, int number) {
        const std::string summary = Text(icalcomponent_get_summary(event));
        return "event " + std::to_string(number) +
               (summary.empty() ? std::string() : " ('" + summary + "')");
    }

    std::string Describe(icalcomponent* event) const { return EventName(event, eventNumber_); }

    // libical reads leniently: what it cannot read it drops and notes in an X-LIC-ERROR
    // property. A holiday calendar with such a note is refused rather than read in part.
    bool CheckErrors(icalcomponent* component, const std::string& where) {
        for (auto* p = icalcomponent_get_first_property(component, ICAL_XLICERROR_PROPERTY); p;
             p = icalcomponent_get_next_property(component, ICAL_XLICERROR_PROPERTY))
            return Fail(where + ": " + Text(icalproperty_get_xlicerror(p)));
        int events = 0;
        for (auto* c = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT); c;
             c = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT)) {
            const bool event = icalcomponent_isa(c) == ICAL_VEVENT_COMPONENT;
            if (!CheckErrors(c, event ? EventName(c, ++events) : where)) return false;
        }
        return true;
    }

    // An event with a RECURRENCE-ID replaces that one occurrence of its recurring event.
    void NoteMovedOccurrences(icalcomponent* calendar) {
        for (auto* e = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); e;
             e = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
            if (!icalcomponent_get_first_property(e, ICAL_RECURRENCEID_PROPERTY)) continue;
            if (auto day = DayOf(icalcomponent_get_recurrenceid(e)))
                moved_.insert({Text(icalcomponent_get_uid(e)), *day});
        }
    }

    bool Event(icalcomponent* event) {
        if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED) return true;
        if (!icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY))
            return Fail(Describe(event) + ": no DTSTART");
        const icaltimetype start = icalcomponent_get_dtstart(event);
        if (!start.is_date) {
            ++out_.TimedEventsLeftOut;
            return true;
        }
        const auto first = DayOf(start);
        if (!first) return Fail(Describe(event) + ": DTSTART is not a date that exists");
        days length{1};
        if (auto end = DayOf(icalcomponent_get_dtend(event)); end && *end > *first)
            length = *end - *first;
        if (length > kLongestHoliday)
            return Fail(Describe(event) + ": lasts more than " +
                        std::to_string(kLongestHoliday.count()) + " days");

        std::set<sys_days> starts;
        if (!Occurrences(event, start, *first, starts)) return false;
        const std::string uid = Text(icalcomponent_get_uid(event));
        const bool master = !icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY);
        const std::string name = Text(icalcomponent_get_summary(event));
        for (const sys_days day : starts) {
            if (master && moved_.count({uid, day})) continue;
            out_.Holidays.push_back(
                {{year_month_day{day}, year_month_day{day + length - days{1}}}, name});
        }
        return true;
    }

    // The first day of every occurrence: DTSTART, each RRULE's dates up to the last year
    // held, RDATE's dates, less EXDATE's.
    bool Occurrences(icalcomponent* event, const icaltimetype& start, sys_days first,
                     std::set<sys_days>& starts) {
        const sys_days last{year{kLastHolidayYear} / December / 31};
        starts.insert(first);
        for (auto* p = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY); p;
             p = icalcomponent_get_next_property(event, ICAL_RRULE_PROPERTY)) {
            std::unique_ptr<icalrecur_iterator, TIteratorFree> it(
                icalrecur_iterator_new(icalproperty_get_rrule(p), start));
            if (!it) return Fail(Describe(event) + ": its RRULE cannot be followed");
            for (icaltimetype t = icalrecur_iterator_next(it.get()); !icaltime_is_null_time(t);
                 t = icalrecur_iterator_next(it.get())) {
                const auto day = DayOf(t);
                if (!day) break;
                if (*day > last) {
                    out_.RecursPastLastYear = true;
                    break;
                }
                if (++occurrences_ > kMaxOccurrences)
                    return Fail(Describe(event) + ": recurs more than " +
                                std::to_string(kMaxOccurrences) + " times up to " +
                                std::to_string(kLastHolidayYear));
                starts.insert(*day);
            }
        }
        for (auto* p = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(event, ICAL_RDATE_PROPERTY)) {
            const icaldatetimeperiodtype value = icalproperty_get_rdate(p);
            const auto day =
                DayOf(icaltime_is_null_time(value.time) ? value.period.start : value.time);
            if (!day) return Fail(Describe(event) + ": RDATE is not a date that exists");
            starts.insert(*day);
        }
        for (auto* p = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY)) {
            if (auto day = DayOf(icalproperty_get_exdate(p))) starts.erase(*day);
        }
        return true;
    }

    THolidayFile& out_;
    std::set<std::pair<std::string, sys_days>> moved_;
    int eventNumber_ = 0;
    std::size_t occurrences_ = 0;
};

}  // namespace

bool ParseHolidays(std::string_view text, THolidayFile& out, std::string& error) {
    const std::string copy(text);  // libical reads a NUL-terminated string
    std::unique_ptr<icalcomponent, TComponentFree> root(icalparser_parse_string(copy.c_str()));
    if (!root) {
        error = "not an iCalendar file (no complete BEGIN:VCALENDAR ... END:VCALENDAR)";
        return false;
    }
    THolidayFile read;
    TIcsReader reader(read);
    if (!reader.Read(root.get())) {
        error = reader.Error;
        return false;
    }
    out = std::move(read);
    return true;
}

bool ReadHolidays(const std::string& path, THolidayFile& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char chunk[65536];
    while (in && text.size() <= kMaxFileBytes) {
        in.read(chunk, sizeof chunk);
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad() || (!in && !in.eof())) {
        error = path + ": cannot be read";
        return false;
    }
    if (text.size() > kMaxFileBytes) {
        error = path + ": larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
        return false;
    }
    if (!ParseHolidays(text, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace kstbell::calendar
