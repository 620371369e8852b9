#pragma once

// The inputs a route takes (its JSON body's keys, its query's names, its path's parameters),
// described once: the same list checks a request and writes the route's OpenAPI description.
// Checks are strict: unknown keys and names are refused, types are not converted, and each
// problem is named ("key 'tone': must be an integer from 0 to 3"). No check repeats a value it
// was given, so a message never carries a password.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "web/request_target.h"

namespace kstbell::web {

enum class TFieldType {
    String,
    Integer,
    Number,
    Boolean,
    StringList,  // body: an array of strings; query: repeated, or separated by commas
    Date,        // "2027-01-07"
    Instant,     // RFC 3339
    Object,      // body: any JSON object, whose inside the service checks
    List,        // body: any JSON array, whose inside the service checks
};

struct TField {
    std::string Name{};
    TFieldType Type = TFieldType::String;
    std::string Description{};
    bool Required = false;
    // Integer, Number: the value; String: its length in bytes; StringList: its items.
    std::optional<double> Min{};
    std::optional<double> Max{};
    std::vector<std::string> Choices{};  // String: the values allowed
    bool Secret = false;                 // a password: control characters allowed, never shown
};

using TFields = std::vector<TField>;

// Nesting deeper than this is refused before it is built.
inline constexpr int kMaxJsonDepth = 8;

// A request body: a JSON object, no key twice, nesting at most kMaxJsonDepth. Otherwise
// nothing, with where and what in error.
std::optional<nlohmann::json> ParseJsonObject(std::string_view text, std::string& error);

// The first problem of an object against the fields, if any.
std::optional<std::string> CheckObject(const nlohmann::json& object, const TFields& fields);

// Query pairs (or path parameters) read into an object of typed values, checked like a body.
std::optional<nlohmann::json> ReadQuery(const TQueryPairs& pairs, const TFields& fields,
                                        std::string_view what, std::string& error);

// The JSON schema of one field, and of an object of them.
nlohmann::json FieldSchema(const TField& field);
nlohmann::json ObjectSchema(const TFields& fields);

}  // namespace kstbell::web
