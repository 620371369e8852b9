#pragma once

// Typed values out of a parsed TOML file (toml++). Each wrong value is noted as a TError with its
// line and the full key the caller names it by, and reading goes on, so that every mistake of a
// file is reported at once. The readers of the file's sections walk their own tables and refuse
// the keys they do not know (Unknown).

#include <toml++/toml.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "config/error.h"

namespace kstbell::config {

class TReader {
  public:
    // path names the file in every mistake; relative paths in it are taken from its folder.
    TReader(std::string path, std::vector<TError>& errors);

    const std::string& File() const { return path_; }
    std::size_t ErrorCount() const { return errors_.size(); }

    void Fail(const toml::node& node, const std::string& key, const std::string& reason);
    void FailAt(std::uint32_t line, const std::string& key, const std::string& reason);
    // "unknown key", or "unknown key (KNOWN)" naming the keys there are.
    void Unknown(const toml::node& node, const std::string& key, const std::string& known = {});
    // A key that the table needs: "is missing", at the table's line.
    void Missing(const toml::node& table, const std::string& key);

    // "must be a table ([KEY])", or the reason given.
    const toml::table* Table(const toml::node& node, const std::string& key);
    const toml::table* Table(const toml::node& node, const std::string& key,
                             const std::string& reason);
    const toml::array* Array(const toml::node& node, const std::string& key,
                             const std::string& reason);
    // An array of at least one item.
    const toml::array* List(const toml::node& node, const std::string& key,
                            const std::string& reason);

    // Any string, the empty one too: "must be a string".
    std::optional<std::string> String(const toml::node& node, const std::string& key);
    // A string that is not empty: "must be a text that is not empty".
    std::optional<std::string> Text(const toml::node& node, const std::string& key);
    // "must be true or false".
    std::optional<bool> Bool(const toml::node& node, const std::string& key);
    // An integer from low to high, as T: "must be an integer from LOW to HIGH".
    template <typename T = std::int64_t>
    std::optional<T> Integer(const toml::node& node, const std::string& key,
                             std::type_identity_t<T> low, std::type_identity_t<T> high) {
        const auto value =
            IntegerIn(node, key, static_cast<std::int64_t>(low), static_cast<std::int64_t>(high));
        if (!value) return std::nullopt;
        return static_cast<T>(*value);
    }
    // An integer count of D (seconds, milliseconds, days ...) from low to high.
    template <typename D>
    std::optional<D> Duration(const toml::node& node, const std::string& key, std::int64_t low,
                              std::int64_t high) {
        const auto count = IntegerIn(node, key, low, high);
        if (!count) return std::nullopt;
        return D{*count};
    }
    // "YYYY-MM-DD" or a TOML local date, a date that exists.
    std::optional<std::chrono::year_month_day> Date(const toml::node& node, const std::string& key);
    // "HH:MM" or "HH:MM:SS", or a TOML local time in whole seconds: since midnight.
    std::optional<std::chrono::seconds> TimeOfDay(const toml::node& node, const std::string& key);
    // A string that is not empty ("must be a string", "must not be empty"), as a path: a relative
    // one is taken from the file's folder.
    std::optional<std::string> Path(const toml::node& node, const std::string& key);
    // path as the file means it: a relative one from the file's folder.
    std::string InFolder(const std::string& path) const;

  private:
    std::optional<std::int64_t> IntegerIn(const toml::node& node, const std::string& key,
                                          std::int64_t low, std::int64_t high);

    std::string path_;
    std::vector<TError>& errors_;
};

// The parser's message for a file it could not read: "FILE:LINE: what", or "FILE: cannot be
// read: what" when there is no line.
std::string ParseErrorText(const std::string& path, const toml::parse_error& error);

// The parsed file, or the text under the name path; nullopt with the parser's message in error.
std::optional<toml::table> ParseFile(const std::string& path, std::string& error);
std::optional<toml::table> ParseText(const std::string& text, const std::string& path,
                                     std::string& error);

}  // namespace kstbell::config
