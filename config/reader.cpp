#include "config/reader.h"

#include <algorithm>
#include <filesystem>

namespace kstbell::config {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

// The number in text[at, at + width), digits only.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t width) {
    if (at + width > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + width; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// "HH:MM" or "HH:MM:SS", two digits each, 00:00 to 23:59:59.
std::optional<seconds> ParseTimeOfDay(std::string_view text) {
    if ((text.size() != 5 && text.size() != 8) || text[2] != ':') return std::nullopt;
    if (text.size() == 8 && text[5] != ':') return std::nullopt;
    const auto h = Digits(text, 0, 2);
    const auto m = Digits(text, 3, 2);
    const auto s = text.size() == 8 ? Digits(text, 6, 2) : std::optional<int>(0);
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59) return std::nullopt;
    return hours{*h} + minutes{*m} + seconds{*s};
}

// "YYYY-MM-DD", a date that exists.
std::optional<year_month_day> ParseDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const auto y = Digits(text, 0, 4);
    const auto m = Digits(text, 5, 2);
    const auto d = Digits(text, 8, 2);
    if (!y || !m || !d) return std::nullopt;
    const year_month_day date{year{*y}, month{static_cast<unsigned>(*m)},
                              day{static_cast<unsigned>(*d)}};
    if (!date.ok()) return std::nullopt;
    return date;
}

}  // namespace

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
        if (auto date = ParseDate(text->get())) return date;
    }
    Fail(node, key, "must be a date that exists, \"YYYY-MM-DD\"");
    return std::nullopt;
}

std::optional<seconds> TReader::TimeOfDay(const toml::node& node, const std::string& key) {
    if (const auto* value = node.as_time()) {
        const toml::time t = value->get();
        if (t.nanosecond == 0) return hours{t.hour} + minutes{t.minute} + seconds{t.second};
    } else if (const auto* text = node.as_string()) {
        if (auto time = ParseTimeOfDay(text->get())) return time;
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

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

}  // namespace kstbell::config
