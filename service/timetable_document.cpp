#include "service/timetable_document.h"

#include <algorithm>
#include <limits>

#include "calendar/clock_text.h"

namespace kstbell::service {

namespace {

using nlohmann::json;

// The document's name in a mistake (it has no file): left out of DocumentMistake's text.
constexpr const char* kDocumentName = "timetable";

// A JSON value as the TOML value the file would hold: the reader then names any wrong one.
// null means "not given" inside an object; inside a list it stands as false, which no item
// of a list may be.
void Put(toml::table& into, const std::string& key, const json& value);
void Push(toml::array& into, const json& value);

template <typename TInsert>
void Convert(const json& value, TInsert&& insert) {
    if (value.is_string()) {
        insert(toml::value<std::string>(value.get<std::string>()));
    } else if (value.is_boolean()) {
        insert(toml::value<bool>(value.get<bool>()));
    } else if (value.is_number_unsigned() &&
               value.get<std::uint64_t>() >
                   static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        insert(toml::value<double>(value.get<double>()));
    } else if (value.is_number_integer()) {
        insert(toml::value<std::int64_t>(value.get<std::int64_t>()));
    } else if (value.is_number()) {
        insert(toml::value<double>(value.get<double>()));
    } else if (value.is_array()) {
        toml::array list;
        for (const auto& item : value)
            Push(list, item);
        insert(std::move(list));
    } else if (value.is_object()) {
        toml::table table;
        for (const auto& [key, item] : value.items())
            Put(table, key, item);
        insert(std::move(table));
    }
}

void Put(toml::table& into, const std::string& key, const json& value) {
    if (value.is_null()) return;
    Convert(value, [&](auto&& node) { into.insert_or_assign(key, std::move(node)); });
}

void Push(toml::array& into, const json& value) {
    if (value.is_null()) {
        into.push_back(false);
        return;
    }
    Convert(value, [&](auto&& node) { into.push_back(std::move(node)); });
}

// The document's keys as the file's: plans are day_plans, holidays are holidays.dates.
toml::table AsSiteFile(const json& document) {
    toml::table schedule;
    for (const auto& [key, value] : document.items()) {
        if (key == "plans") {
            Put(schedule, "day_plans", value);
        } else if (key == "holidays") {
            toml::table holidays;
            Put(holidays, "dates", value);
            schedule.insert_or_assign("holidays", std::move(holidays));
        } else {
            Put(schedule, key, value);
        }
    }
    toml::table root;
    root.insert_or_assign("schedule", std::move(schedule));
    return root;
}

std::string Count(std::size_t n, const char* one) {
    return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
}

// What became of a plan's bells, by time and group (the bell's identity in the file).
std::string BellChanges(const calendar::TDayPlan& before, const calendar::TDayPlan& after) {
    std::size_t added = 0, removed = 0, changed = 0;
    const auto find = [](const calendar::TDayPlan& plan, const calendar::TBell& bell) {
        return std::find_if(plan.Bells.begin(), plan.Bells.end(), [&](const calendar::TBell& b) {
            return b.Time == bell.Time && b.Group == bell.Group;
        });
    };
    for (const auto& bell : after.Bells) {
        const auto old = find(before, bell);
        if (old == before.Bells.end()) {
            ++added;
        } else if (!(*old == bell)) {
            ++changed;
        }
    }
    for (const auto& bell : before.Bells)
        if (find(after, bell) == after.Bells.end()) ++removed;
    std::vector<std::string> parts;
    if (added) parts.push_back(Count(added, "bell") + " added");
    if (removed) parts.push_back(Count(removed, "bell") + " removed");
    if (changed) parts.push_back(Count(changed, "bell") + " changed");
    std::string out;
    for (const auto& part : parts)
        out += (out.empty() ? "" : ", ") + part;
    return out;
}

}  // namespace

json TimetableJson(const calendar::TTimetable& timetable) {
    json plans = json::object();
    for (const auto& [name, plan] : timetable.Plans) {
        std::vector<calendar::TBell> bells = plan.Bells;
        std::stable_sort(bells.begin(), bells.end(),
                         [](const auto& a, const auto& b) { return a.Time < b.Time; });
        json list = json::array();
        for (const auto& bell : bells) {
            list.push_back({{"time", calendar::ShortTimeOfDay(bell.Time)},
                            {"group", bell.Group},
                            {"tone", bell.Tone},
                            {"duration_s", bell.DurationS},
                            {"label", bell.Label}});
        }
        plans[name] = {{"bells", std::move(list)}};
    }
    json week = json::object();
    for (std::size_t d = 0; d < timetable.Week.size(); ++d) {
        week[calendar::kWeekdayNames[d]] =
            timetable.Week[d].empty() ? json(nullptr) : json(timetable.Week[d]);
    }
    json holidays = json::array();
    for (const auto& holiday : timetable.Holidays) {
        holidays.push_back({{"name", holiday.Name},
                            {"first", calendar::FormatDate(holiday.Dates.First)},
                            {"last", calendar::FormatDate(holiday.Dates.Last)}});
    }
    return {{"plans", std::move(plans)}, {"week", std::move(week)}, {"holidays", holidays}};
}

std::string TimetableDocument(const calendar::TTimetable& timetable) {
    return TimetableJson(timetable).dump();
}

bool ReadTimetableDocument(const std::string& text,
                           const std::function<bool(const std::string&)>& groupExists,
                           calendar::TTimetable& timetable, std::vector<config::TError>& errors) {
    const json document = json::parse(text, nullptr, false);
    if (!document.is_object()) {
        errors.push_back({kDocumentName, 0, "", "the timetable must be a JSON object"});
        return false;
    }
    calendar::TTimetable read;
    std::vector<calendar::TGroupUse> groups;
    std::vector<config::TError> found;
    calendar::ReadTimetable(AsSiteFile(document), kDocumentName, read, groups, found);
    if (groupExists) calendar::CheckBellGroups(groups, kDocumentName, groupExists, found);
    errors.insert(errors.end(), found.begin(), found.end());
    if (!found.empty()) return false;
    timetable = std::move(read);
    return true;
}

std::string DocumentMistake(const config::TError& error) {
    if (error.Key.empty()) return error.Reason;
    return "key '" + error.Key + "': " + error.Reason;
}

std::string TimetableChanges(const calendar::TTimetable& before,
                             const calendar::TTimetable& after) {
    std::vector<std::string> parts;
    for (const auto& [name, plan] : after.Plans) {
        const auto old = before.Plans.find(name);
        if (old == before.Plans.end()) {
            parts.push_back("plan " + name + " added (" + Count(plan.Bells.size(), "bell") + ")");
        } else if (auto bells = BellChanges(old->second, plan); !bells.empty()) {
            parts.push_back("plan " + name + ": " + bells);
        }
    }
    for (const auto& [name, plan] : before.Plans)
        if (!after.Plans.contains(name)) parts.push_back("plan " + name + " removed");
    for (std::size_t d = 0; d < after.Week.size(); ++d) {
        if (before.Week[d] == after.Week[d]) continue;
        const auto plan = [](const std::string& p) { return p.empty() ? std::string("none") : p; };
        parts.push_back(std::string(calendar::kWeekdayNames[d]) + ": " + plan(before.Week[d]) +
                        " to " + plan(after.Week[d]));
    }
    std::size_t added = 0, removed = 0;
    for (const auto& h : after.Holidays)
        if (std::find(before.Holidays.begin(), before.Holidays.end(), h) == before.Holidays.end())
            ++added;
    for (const auto& h : before.Holidays)
        if (std::find(after.Holidays.begin(), after.Holidays.end(), h) == after.Holidays.end())
            ++removed;
    if (added || removed) {
        std::string text = "holidays:";
        if (added) text += " " + std::to_string(added) + " added";
        if (removed)
            text += std::string(added ? "," : "") + " " + std::to_string(removed) + " removed";
        parts.push_back(text);
    }
    if (parts.empty()) return "no change";
    std::string out;
    for (const auto& part : parts)
        out += (out.empty() ? "" : "; ") + part;
    return out;
}

}  // namespace kstbell::service
