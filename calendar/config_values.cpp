#include "calendar/config_values.h"

#include "calendar/clock_text.h"

namespace kstbell::calendar {

using namespace std::chrono;

void TConfigValues::Fail(const toml::node& node, const std::string& key,
                         const std::string& reason) {
    FailAt(node.source().begin.line, key, reason);
}

void TConfigValues::FailAt(std::uint32_t line, const std::string& key, const std::string& reason) {
    errors_.push_back({path_, line, key, reason});
}

const toml::table* TConfigValues::Table(const toml::node& node, const std::string& key) {
    const toml::table* table = node.as_table();
    if (!table) Fail(node, key, "must be a table ([" + key + "])");
    return table;
}

std::optional<std::string> TConfigValues::Text(const toml::node& node, const std::string& key) {
    const auto* value = node.as_string();
    if (!value || value->get().empty()) {
        Fail(node, key, "must be a text that is not empty");
        return std::nullopt;
    }
    return value->get();
}

std::optional<std::int64_t> TConfigValues::Integer(const toml::node& node, const std::string& key,
                                                   std::int64_t low, std::int64_t high) {
    const auto* value = node.as_integer();
    if (!value || value->get() < low || value->get() > high) {
        Fail(node, key,
             "must be an integer from " + std::to_string(low) + " to " + std::to_string(high));
        return std::nullopt;
    }
    return value->get();
}

std::optional<year_month_day> TConfigValues::Date(const toml::node& node, const std::string& key) {
    if (const auto* value = node.as_date()) {
        const toml::date d = value->get();
        const year_month_day date{year{d.year}, month{d.month}, day{d.day}};
        if (date.ok()) return date;
    } else if (const auto* text = node.as_string()) {
        if (auto date = ParseDate(text->get())) return date;
    }
    Fail(node, key, "must be a date that exists, \"YYYY-MM-DD\"");
    return std::nullopt;
}

std::optional<seconds> TConfigValues::TimeOfDay(const toml::node& node, const std::string& key) {
    if (const auto* value = node.as_time()) {
        const toml::time t = value->get();
        if (t.nanosecond == 0) return hours{t.hour} + minutes{t.minute} + seconds{t.second};
    } else if (const auto* text = node.as_string()) {
        if (auto time = ParseTimeOfDay(text->get())) return time;
    }
    Fail(node, key, "must be a time of day, \"HH:MM\" or \"HH:MM:SS\" from 00:00 to 23:59:59");
    return std::nullopt;
}

}  // namespace kstbell::calendar
