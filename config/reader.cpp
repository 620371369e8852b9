#include "config/reader.h"

#include <algorithm>
#include <filesystem>

#include "text/iso_time.h"

namespace kstbell::config {

namespace fs = std::filesystem;
using namespace std::chrono;

TReader::TReader(std::string path, std::vector<TError>& errors)
    : path_(std::move(path)), errors_(errors) {}

void TReader::Fail(const toml::node& node, const std::string& key, const std::string& reason) {
    FailAt(node.source().begin.line, key, reason);
}

void TReader::FailAt(std::uint32_t line, const std::string& key, const std::string& reason) {
    errors_.push_back({path_, line, key, reason});
}

void TReader::Unknown(const toml::node& node, const std::string& key, const std::string& known) {
    Fail(node, key, known.empty() ? "unknown key" : "unknown key (" + known + ")");
}

void TReader::Missing(const toml::node& table, const std::string& key) {
    Fail(table, key, "is missing");
}

const toml::table* TReader::Table(const toml::node& node, const std::string& key) {
    return Table(node, key, "must be a table ([" + key + "])");
}

const toml::table* TReader::Table(const toml::node& node, const std::string& key,
                                  const std::string& reason) {
    const toml::table* table = node.as_table();
    if (!table) Fail(node, key, reason);
    return table;
}

const toml::array* TReader::Array(const toml::node& node, const std::string& key,
                                  const std::string& reason) {
    const toml::array* array = node.as_array();
    if (!array) Fail(node, key, reason);
    return array;
}

const toml::array* TReader::List(const toml::node& node, const std::string& key,
                                 const std::string& reason) {
    const toml::array* array = node.as_array();
    if (!array || array->empty()) {
        Fail(node, key, reason);
        return nullptr;
    }
    return array;
}

std::optional<std::string> TReader::String(const toml::node& node, const std::string& key) {
    const auto* value = node.as_string();
    if (!value) {
        Fail(node, key, "must be a string");
        return std::nullopt;
    }
    return value->get();
}

std::optional<std::string> TReader::Text(const toml::node& node, const std::string& key) {
    const auto* value = node.as_string();
    if (!value || value->get().empty()) {
        Fail(node, key, "must be a text that is not empty");
        return std::nullopt;
    }
    return value->get();
}

std::optional<bool> TReader::Bool(const toml::node& node, const std::string& key) {
    const auto* value = node.as_boolean();
    if (!value) {
        Fail(node, key, "must be true or false");
        return std::nullopt;
    }
    return value->get();
}

std::optional<std::int64_t> TReader::IntegerIn(const toml::node& node, const std::string& key,
                                               std::int64_t low, std::int64_t high) {
    const auto* value = node.as_integer();
    if (!value || value->get() < low || value->get() > high) {
        Fail(node, key,
             "must be an integer from " + std::to_string(low) + " to " + std::to_string(high));
        return std::nullopt;
    }
    return value->get();
}

std::optional<year_month_day> TReader::Date(const toml::node& node, const std::string& key) {
    if (const auto* value = node.as_date()) {
        const toml::date d = value->get();
        const year_month_day date{year{d.year}, month{d.month}, day{d.day}};
        if (date.ok()) return date;
    } else if (const auto* text = node.as_string()) {
        if (auto date = text::ParseDate(text->get())) return date;
    }
    Fail(node, key, "must be a date that exists, \"YYYY-MM-DD\"");
    return std::nullopt;
}

std::optional<seconds> TReader::TimeOfDay(const toml::node& node, const std::string& key) {
    if (const auto* value = node.as_time()) {
        const toml::time t = value->get();
        if (t.nanosecond == 0) return hours{t.hour} + minutes{t.minute} + seconds{t.second};
    } else if (const auto* text = node.as_string()) {
        if (auto time = text::ParseTimeOfDay(text->get())) return time;
    }
    Fail(node, key, "must be a time of day, \"HH:MM\" or \"HH:MM:SS\" from 00:00 to 23:59:59");
    return std::nullopt;
}

std::optional<std::string> TReader::Path(const toml::node& node, const std::string& key) {
    auto text = String(node, key);
    if (!text) return std::nullopt;
    if (text->empty()) {
        Fail(node, key, "must not be empty");
        return std::nullopt;
    }
    return InFolder(*text);
}

std::string TReader::InFolder(const std::string& path) const {
    if (fs::path(path).is_absolute()) return path;
    return (fs::path(path_).parent_path() / path).lexically_normal().string();
}

std::string ParseErrorText(const std::string& path, const toml::parse_error& error) {
    const auto& where = error.source().begin;
    std::string what(error.description());
    if (where.line == 0) what = "cannot be read: " + what;
    return path + ":" + (where.line ? std::to_string(where.line) + ":" : "") + " " + what;
}

std::optional<toml::table> ParseFile(const std::string& path, std::string& error) {
    try {
        return toml::parse_file(path);
    } catch (const toml::parse_error& e) {
        error = ParseErrorText(path, e);
        return std::nullopt;
    }
}

std::optional<toml::table> ParseText(const std::string& text, const std::string& path,
                                     std::string& error) {
    try {
        return toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        error = ParseErrorText(path, e);
        return std::nullopt;
    }
}

}  // namespace kstbell::config
