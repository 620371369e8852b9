#include "calendar/calendar_config.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "calendar/clock_text.h"
#include "calendar/holidays.h"
#include "config/reader.h"
#include "text/control.h"

namespace kstbell::calendar {

namespace {

using namespace std::chrono;

constexpr const auto& kDays = kWeekdayNames;
constexpr std::int64_t kLongestBellS = 86400;
constexpr std::int64_t kLongestToleranceS = 3600;
constexpr std::size_t kLongestLabelBytes = 200;

// A name used where a day plan is meant, kept until every plan has been read.
struct TPlanUse {
    std::string Plan;
    std::uint32_t Line;
    std::string Key;
};

struct TExceptionPlace {
    std::size_t Index;
    std::uint32_t Line;
    std::string Key;
};

// What is read: the calendar's keys of the site file, or only the timetable of its [schedule]
// (day plans, week, holidays: what the database keeps when the file has none).
enum class EReadScope { SiteFile, Timetable };

class TCalendarReader : config::TReader {
  public:
    TCalendarReader(const std::string& path, TCalendarConfig& config,
                    std::vector<config::TError>& errors, EReadScope scope = EReadScope::SiteFile)
        : TReader(path, errors), c_(config), scope_(scope) {}

    void Read(const toml::table& root) {
        if (scope_ == EReadScope::SiteFile) {
            bool zoneGiven = false;
            if (const toml::node* site = root.get("site")) zoneGiven = Site(*site);
            if (!zoneGiven) c_.Zone = TTimeZone::System();
        }
        if (const toml::node* schedule = root.get("schedule")) {
            c_.ScheduleGiven = true;
            Schedule(*schedule);
        }
        CheckPlanUses();
        CheckOverlaps();
    }

  private:
    // True when the file names the zone (right or wrong), so the system's is not wanted.
    bool Site(const toml::node& node) {
        const toml::table* site = Table(node, "site");
        if (!site) return false;
        bool zoneGiven = false;
        if (const toml::node* zone = site->get("time_zone")) {
            zoneGiven = true;
            if (auto name = Text(*zone, "site.time_zone")) {
                if (auto found = TTimeZone::Find(*name)) {
                    c_.Zone = *found;
                } else {
                    Fail(*zone, "site.time_zone",
                         "no time zone '" + *name +
                             "' in the system's database: give an IANA name such as "
                             "\"Europe/Berlin\"");
                }
            }
        }
        if (const toml::node* tolerance = site->get("late_tolerance_s")) {
            if (auto s = Integer(*tolerance, "site.late_tolerance_s", 0, kLongestToleranceS))
                c_.LateTolerance = seconds{*s};
        }
        return zoneGiven;
    }

    void Schedule(const toml::node& node) {
        const toml::table* schedule = Table(node, "schedule");
        if (!schedule) return;
        for (const auto& [name, value] : *schedule) {
            const std::string key = "schedule." + std::string(name.str());
            if (name == "week") {
                Week(value, key);
            } else if (name == "day_plans") {
                Plans(value, key);
            } else if (name == "exceptions" && scope_ == EReadScope::SiteFile) {
                Exceptions(value, key);
            } else if (name == "exceptions") {
                Fail(value, key,
                     "exceptions are kept apart from the timetable: add them through the API "
                     "(POST /api/v1/schedule/exceptions)");
            } else if (name == "holidays") {
                Holidays(value, key);
            } else {
                Unknown(value, key,
                        scope_ == EReadScope::SiteFile
                            ? "week, day_plans, exceptions and holidays are"
                            : "week, day_plans and holidays are");
            }
        }
    }

    void Week(const toml::node& node, const std::string& key) {
        const toml::table* week = Table(node, key);
        if (!week) return;
        for (const auto& [name, value] : *week) {
            const std::string dayKey = key + "." + std::string(name.str());
            const auto day = std::find(kDays.begin(), kDays.end(), name.str());
            if (day == kDays.end()) {
                Unknown(value, dayKey, "monday to sunday are");
                continue;
            }
            if (auto plan = Text(value, dayKey)) {
                c_.Schedule.Week[static_cast<std::size_t>(day - kDays.begin())] = *plan;
                planUses_.push_back({*plan, value.source().begin.line, dayKey});
            }
        }
    }

    void Plans(const toml::node& node, const std::string& key) {
        const toml::table* plans = Table(node, key);
        if (!plans) return;
        for (const auto& [name, value] : *plans) {
            const std::string planKey = key + "." + std::string(name.str());
            const toml::table* plan = Table(value, planKey);
            if (!plan) continue;
            TDayPlan& into = c_.Schedule.Plans[std::string(name.str())];
            for (const auto& [inner, item] : *plan) {
                if (inner == "bells") {
                    Bells(item, planKey + ".bells", into);
                } else {
                    Unknown(item, planKey + "." + std::string(inner.str()), "a day plan has bells");
                }
            }
        }
    }

    void Bells(const toml::node& node, const std::string& key, TDayPlan& plan) {
        const toml::array* bells = Array(node, key, "must be a list of bells");
        if (!bells) return;
        std::vector<std::uint32_t> lines;
        std::vector<std::size_t> places;
        for (std::size_t i = 0; i < bells->size(); ++i) {
            const toml::node& item = *bells->get(i);
            const std::string bellKey = key + "[" + std::to_string(i) + "]";
            const toml::table* table =
                Table(item, bellKey, "must be a bell: { time, group, tone, duration_s }");
            if (!table) continue;
            TBell bell;
            if (!Bell(*table, bellKey, bell)) continue;
            const auto same = std::find_if(plan.Bells.begin(), plan.Bells.end(), [&](auto& b) {
                return b.Time == bell.Time && b.Group == bell.Group;
            });
            if (same != plan.Bells.end()) {
                const auto index = static_cast<std::size_t>(same - plan.Bells.begin());
                // A document without lines (the API's) names the other bell by its place.
                const std::string other = lines[index]
                                              ? "the bell on line " + std::to_string(lines[index])
                                              : key + "[" + std::to_string(places[index]) + "]";
                Fail(item, bellKey,
                     "rings '" + bell.Group + "' at " + FormatTimeOfDay(bell.Time) + " as " +
                         other + " does");
                continue;
            }
            plan.Bells.push_back(bell);
            lines.push_back(item.source().begin.line);
            places.push_back(i);
            c_.GroupUses.push_back(
                {bell.Group, table->get("group")->source().begin.line, bellKey + ".group"});
        }
    }

    bool Bell(const toml::table& table, const std::string& key, TBell& bell) {
        const std::size_t before = ErrorCount();
        bool haveTime = false, haveGroup = false, haveTone = false, haveDuration = false;
        for (const auto& [name, value] : table) {
            const std::string inner = key + "." + std::string(name.str());
            if (name == "time") {
                haveTime = true;
                if (auto t = TimeOfDay(value, inner)) bell.Time = *t;
            } else if (name == "group") {
                haveGroup = true;
                if (auto g = Text(value, inner)) bell.Group = *g;
            } else if (name == "tone") {
                haveTone = true;
                if (auto t = Integer<int>(value, inner, 0, 3)) bell.Tone = *t;
            } else if (name == "duration_s") {
                haveDuration = true;
                if (auto d = Integer<int>(value, inner, 1, kLongestBellS)) bell.DurationS = *d;
            } else if (name == "label") {
                if (auto label = Label(value, inner)) bell.Label = *label;
            } else {
                Unknown(value, inner, "time, group, tone and duration_s are");
            }
        }
        const std::pair<bool, const char*> required[] = {{haveTime, "time"},
                                                         {haveGroup, "group"},
                                                         {haveTone, "tone"},
                                                         {haveDuration, "duration_s"}};
        for (const auto& [given, name] : required)
            if (!given) Missing(table, key + "." + name);
        return ErrorCount() == before;
    }

    // A text for people, empty too: no label.
    std::optional<std::string> Label(const toml::node& node, const std::string& key) {
        const auto* value = node.as_string();
        if (!value || value->get().size() > kLongestLabelBytes ||
            text::HasControlByte(value->get())) {
            Fail(node, key,
                 "must be a text of at most " + std::to_string(kLongestLabelBytes) +
                     " bytes without control characters");
            return std::nullopt;
        }
        return value->get();
    }

    void Exceptions(const toml::node& node, const std::string& key) {
        const toml::array* list = Array(node, key, "must be tables ([[" + key + "]])");
        if (!list) return;
        for (std::size_t i = 0; i < list->size(); ++i) {
            const toml::node& item = *list->get(i);
            const std::string itemKey = key + "[" + std::to_string(i) + "]";
            const toml::table* table = Table(item, itemKey, "must be a table ([[" + key + "]])");
            if (!table) continue;
            TException exception;
            if (Exception(*table, itemKey, exception)) {
                exceptionPlaces_.push_back(
                    {c_.Schedule.Exceptions.size(), table->source().begin.line, itemKey});
                c_.Schedule.Exceptions.push_back(exception);
            }
        }
    }

    bool Exception(const toml::table& table, const std::string& key, TException& exception) {
        const std::size_t before = ErrorCount();
        std::optional<year_month_day> date, from, to;
        const toml::node* dateNode = nullptr;
        const toml::node* toNode = nullptr;
        const toml::node* planNode = nullptr;
        const toml::node* noBellsNode = nullptr;
        for (const auto& [name, value] : table) {
            const std::string inner = key + "." + std::string(name.str());
            if (name == "date") {
                dateNode = &value;
                date = Date(value, inner);
            } else if (name == "from") {
                from = Date(value, inner);
            } else if (name == "to") {
                toNode = &value;
                to = Date(value, inner);
            } else if (name == "plan") {
                planNode = &value;
                if (auto plan = Text(value, inner)) exception.Plan = *plan;
            } else if (name == "no_bells") {
                noBellsNode = &value;
                const auto* flag = value.as_boolean();
                if (!flag || !flag->get())
                    Fail(value, inner, "must be true (or give plan = \"...\" instead)");
            } else if (name == "name") {
                if (auto text = Text(value, inner)) exception.Name = *text;
            } else {
                Unknown(value, inner, "date, from, to, plan, no_bells and name are");
            }
        }
        const bool range = table.contains("from") || table.contains("to");
        if (dateNode && range) {
            Fail(*dateNode, key + ".date", "give either date or from and to, not both");
        } else if (!dateNode && !range) {
            Fail(table, key + ".date", "is missing (or give from and to)");
        } else if (range && !table.contains("from")) {
            Missing(table, key + ".from");
        } else if (range && !table.contains("to")) {
            Missing(table, key + ".to");
        } else if (from && to && sys_days{*to} < sys_days{*from}) {
            Fail(*toNode, key + ".to", "comes before from");
        }
        if (planNode && noBellsNode) {
            Fail(*noBellsNode, key + ".no_bells", "give either plan or no_bells, not both");
        } else if (!planNode && !noBellsNode) {
            Fail(table, key + ".plan", "is missing (or give no_bells = true)");
        }
        if (ErrorCount() != before) return false;
        exception.Dates = date ? TDateRange{*date, *date} : TDateRange{*from, *to};
        if (planNode)
            planUses_.push_back({exception.Plan, planNode->source().begin.line, key + ".plan"});
        return true;
    }

    void Holidays(const toml::node& node, const std::string& key) {
        const toml::table* holidays = Table(node, key);
        if (!holidays) return;
        for (const auto& [name, value] : *holidays) {
            const std::string inner = key + "." + std::string(name.str());
            if (name == "dates") {
                HolidayDates(value, inner);
                continue;
            }
            if (name != "ics") {
                Unknown(value, inner, "ics is");
                continue;
            }
            if (const toml::array* files = value.as_array()) {
                for (std::size_t i = 0; i < files->size(); ++i)
                    HolidayFile(*files->get(i), inner + "[" + std::to_string(i) + "]");
            } else {
                HolidayFile(value, inner);
            }
        }
    }

    // [[schedule.holidays.dates]]: name, first, last (optional: the one day first).
    void HolidayDates(const toml::node& node, const std::string& key) {
        const toml::array* list = Array(node, key, "must be tables ([[" + key + "]])");
        if (!list) return;
        for (std::size_t i = 0; i < list->size(); ++i) {
            const toml::node& item = *list->get(i);
            const std::string itemKey = key + "[" + std::to_string(i) + "]";
            const toml::table* table = Table(item, itemKey, "must be a table ([[" + key + "]])");
            if (!table) continue;
            const std::size_t before = ErrorCount();
            THoliday holiday;
            std::optional<year_month_day> first, last;
            const toml::node* lastNode = nullptr;
            for (const auto& [name, value] : *table) {
                const std::string inner = itemKey + "." + std::string(name.str());
                if (name == "name") {
                    if (auto text = Text(value, inner)) holiday.Name = *text;
                } else if (name == "first") {
                    first = Date(value, inner);
                } else if (name == "last") {
                    lastNode = &value;
                    last = Date(value, inner);
                } else {
                    Unknown(value, inner, "name, first and last are");
                }
            }
            if (!table->contains("name")) Missing(*table, itemKey + ".name");
            if (!table->contains("first")) Missing(*table, itemKey + ".first");
            if (first && last && sys_days{*last} < sys_days{*first})
                Fail(*lastNode, itemKey + ".last", "comes before first");
            if (ErrorCount() != before) continue;
            holiday.Dates = {*first, last.value_or(*first)};
            c_.Schedule.Holidays.push_back(std::move(holiday));
        }
    }

    void HolidayFile(const toml::node& node, const std::string& key) {
        const auto text = Text(node, key);
        if (!text) return;
        const std::string file = InFolder(*text);
        THolidayFile read;
        std::string error;
        if (!ReadHolidays(file, read, error)) return Fail(node, key, error);
        c_.HolidayFiles.push_back(file);
        c_.TimedEventsLeftOut += read.TimedEventsLeftOut;
        if (read.RecursPastLastYear && c_.Schedule.HolidaysCutBy.empty())
            c_.Schedule.HolidaysCutBy = file;
        for (auto& holiday : read.Holidays)
            c_.Schedule.Holidays.push_back(std::move(holiday));
    }

    void CheckPlanUses() {
        for (const auto& use : planUses_) {
            if (!c_.Schedule.Plans.count(use.Plan))
                FailAt(
                    use.Line, use.Key,
                    "no day plan named '" + use.Plan + "' ([schedule.day_plans." + use.Plan + "])");
        }
    }

    // Two exceptions on one date would leave it to their order which one counts.
    void CheckOverlaps() {
        auto places = exceptionPlaces_;
        const auto& list = c_.Schedule.Exceptions;
        std::sort(places.begin(), places.end(), [&](const auto& a, const auto& b) {
            return sys_days{list[a.Index].Dates.First} < sys_days{list[b.Index].Dates.First};
        });
        // The exception reaching furthest so far: a later one that starts before its end
        // overlaps it.
        std::size_t reach = 0;
        for (std::size_t i = 1; i < places.size(); ++i) {
            const auto& earlier = list[places[reach].Index].Dates;
            const auto& later = list[places[i].Index].Dates;
            if (sys_days{later.First} <= sys_days{earlier.Last}) {
                FailAt(places[i].Line, places[i].Key,
                       "overlaps the exception on line " + std::to_string(places[reach].Line) +
                           " on " + FormatDate(later.First));
            }
            if (sys_days{later.Last} > sys_days{earlier.Last}) reach = i;
        }
    }

    TCalendarConfig& c_;
    EReadScope scope_;
    std::vector<TPlanUse> planUses_;
    std::vector<TExceptionPlace> exceptionPlaces_;
};

}  // namespace

bool ReadCalendarConfig(const toml::table& root, const std::string& path, TCalendarConfig& config,
                        std::vector<config::TError>& errors) {
    TCalendarConfig read;
    std::vector<config::TError> found;
    TCalendarReader(path, read, found).Read(root);
    config::SortByLine(found);
    errors.insert(errors.end(), found.begin(), found.end());
    if (!found.empty()) return false;
    config = std::move(read);
    return true;
}

bool ReadTimetable(const toml::table& root, const std::string& path, TTimetable& timetable,
                   std::vector<TGroupUse>& groups, std::vector<config::TError>& errors) {
    TCalendarConfig read;
    std::vector<config::TError> found;
    TCalendarReader(path, read, found, EReadScope::Timetable).Read(root);
    config::SortByLine(found);
    errors.insert(errors.end(), found.begin(), found.end());
    if (!found.empty()) return false;
    timetable = TimetableOf(read.Schedule);
    groups = std::move(read.GroupUses);
    return true;
}

void CheckBellGroups(const std::vector<TGroupUse>& uses, const std::string& path,
                     const std::function<bool(const std::string&)>& exists,
                     std::vector<config::TError>& errors) {
    for (const auto& use : uses) {
        if (!exists(use.Group))
            errors.push_back({path, use.Line, use.Key, "no group named '" + use.Group + "'"});
    }
}

void CheckBellGroups(const TCalendarConfig& config, const std::string& path,
                     const std::function<bool(const std::string&)>& exists,
                     std::vector<config::TError>& errors) {
    CheckBellGroups(config.GroupUses, path, exists, errors);
}

}  // namespace kstbell::calendar
