#pragma once

// Typed values out of a parsed TOML file (toml++), each wrong one recorded as a TConfigError
// with its line and full key, so that a reader goes on and reports every mistake at once.

#include <toml++/toml.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "calendar/config_error.h"

namespace kstbell::calendar {

class TConfigValues {
  public:
    TConfigValues(std::string path, std::vector<TConfigError>& errors)
        : path_(std::move(path)), errors_(errors) {}

    const std::string& Path() const { return path_; }
    std::size_t ErrorCount() const { return errors_.size(); }

    void Fail(const toml::node& node, const std::string& key, const std::string& reason);
    void FailAt(std::uint32_t line, const std::string& key, const std::string& reason);

    const toml::table* Table(const toml::node& node, const std::string& key);
    std::optional<std::string> Text(const toml::node& node, const std::string& key);  // not empty
    std::optional<std::int64_t> Integer(const toml::node& node, const std::string& key,
                                        std::int64_t low, std::int64_t high);
    // "YYYY-MM-DD" or a TOML local date.
    std::optional<std::chrono::year_month_day> Date(const toml::node& node, const std::string& key);
    // "HH:MM" or "HH:MM:SS", or a TOML local time in whole seconds: since midnight.
    std::optional<std::chrono::seconds> TimeOfDay(const toml::node& node, const std::string& key);

  private:
    std::string path_;
    std::vector<TConfigError>& errors_;
};

}  // namespace kstbell::calendar
