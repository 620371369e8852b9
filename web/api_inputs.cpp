#include "web/api_inputs.h"

#include <cmath>

#include "web/json_views.h"
#include "web/time_text.h"

namespace kstbell::web {

using nlohmann::json;

namespace {

// Names of users, tokens, groups, plans, alarms: the service's own rules check them further.
constexpr double kMaxName = 200;
// Horns in one ring asked for by address.
constexpr double kMaxRingHorns = 10000;

std::string Text(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? std::string() : it->get<std::string>();
}

}  // namespace

const TFields& LoginFields() {
    static const TFields fields = {
        {.Name = "user",
         .Type = TFieldType::String,
         .Description = "the user's name",
         .Required = true,
         .Min = 1,
         .Max = kMaxName},
        {.Name = "password",
         .Type = TFieldType::String,
         .Required = true,
         .Min = 1,
         .Max = 1024,
         .Secret = true},
    };
    return fields;
}

const TFields& RingFields() {
    static const TFields fields = {
        {.Name = "horns",
         .Type = TFieldType::StringList,
         .Description = "the horns' addresses (or give group)",
         .Min = 1,
         .Max = kMaxRingHorns},
        {.Name = "group",
         .Type = TFieldType::String,
         .Description = "a group's name (or give horns)",
         .Min = 1,
         .Max = kMaxName},
        {.Name = "tone",
         .Type = TFieldType::Integer,
         .Description = "0 to 3 (default 0)",
         .Min = 0,
         .Max = 3},
        {.Name = "duration_s",
         .Type = TFieldType::Number,
         .Description = "how long; none: until stopped, at most the site's longest ring "
                        "(longer asks are clamped and say so)",
         .Min = 1,
         .Max = 86400},
    };
    return fields;
}

const TFields& ExceptionFields() {
    static const TFields fields = {
        {.Name = "date", .Type = TFieldType::Date, .Description = "one day (or give from and to)"},
        {.Name = "from", .Type = TFieldType::Date, .Description = "the first day"},
        {.Name = "to", .Type = TFieldType::Date, .Description = "the last day (included)"},
        {.Name = "plan",
         .Type = TFieldType::String,
         .Description = "the day plan those days run (or no_bells)",
         .Min = 1,
         .Max = kMaxName},
        {.Name = "no_bells",
         .Type = TFieldType::Boolean,
         .Description = "true: no bells those days (or plan)"},
        {.Name = "name",
         .Type = TFieldType::String,
         .Description = "for people: Staff training",
         .Min = 0,
         .Max = kMaxName},
    };
    return fields;
}

const TFields& LogQueryFields() {
    static const TFields fields = {
        {.Name = "since", .Type = TFieldType::Instant, .Description = "entries at or after"},
        {.Name = "until", .Type = TFieldType::Instant, .Description = "entries before"},
        {.Name = "horn",
         .Type = TFieldType::String,
         .Description = "a horn's address or MAC",
         .Min = 1,
         .Max = kMaxName},
        {.Name = "cause",
         .Type = TFieldType::StringList,
         .Description = "any of these causes (repeat, or separate by commas)",
         .Max = 20},
        {.Name = "kind",
         .Type = TFieldType::StringList,
         .Description = "any of these kinds (repeat, or separate by commas)",
         .Max = 40},
        {.Name = "limit",
         .Type = TFieldType::Integer,
         .Description = "entries at most (100)",
         .Min = 1,
         .Max = 1000},
        {.Name = "cursor",
         .Type = TFieldType::String,
         .Description = "next_cursor of the page before",
         .Min = 1,
         .Max = 64},
    };
    return fields;
}

const TFields& UserAddFields() {
    static const TFields fields = {
        {.Name = "name", .Type = TFieldType::String, .Required = true, .Min = 1, .Max = kMaxName},
        {.Name = "role",
         .Type = TFieldType::String,
         .Required = true,
         .Choices = {"viewer", "operator", "admin"}},
        {.Name = "password",
         .Type = TFieldType::String,
         .Required = true,
         .Min = 1,
         .Max = 1024,
         .Secret = true},
    };
    return fields;
}

const TFields& UserChangeFields() {
    static const TFields fields = {
        {.Name = "role", .Type = TFieldType::String, .Choices = {"viewer", "operator", "admin"}},
        {.Name = "password", .Type = TFieldType::String, .Min = 1, .Max = 1024, .Secret = true},
        {.Name = "disabled",
         .Type = TFieldType::Boolean,
         .Description = "true ends the user's sessions and stops its tokens"},
    };
    return fields;
}

const TFields& OwnPasswordFields() {
    static const TFields fields = {
        {.Name = "current",
         .Type = TFieldType::String,
         .Description = "the password it replaces",
         .Required = true,
         .Min = 1,
         .Max = 1024,
         .Secret = true},
        {.Name = "password",
         .Type = TFieldType::String,
         .Description = "the new password",
         .Required = true,
         .Min = 1,
         .Max = 1024,
         .Secret = true},
    };
    return fields;
}

const TFields& TokenFields() {
    static const TFields fields = {
        {.Name = "name", .Type = TFieldType::String, .Required = true, .Min = 1, .Max = kMaxName},
        {.Name = "user",
         .Type = TFieldType::String,
         .Description = "whose token (default: the caller)",
         .Min = 1,
         .Max = kMaxName},
        {.Name = "role",
         .Type = TFieldType::String,
         .Description = "at most the user's role (default: the user's)",
         .Choices = {"viewer", "operator", "admin"}},
    };
    return fields;
}

std::optional<TRingAsk> RingAskFrom(const json& body, std::string& error) {
    const bool horns = body.contains("horns");
    const bool group = body.contains("group");
    if (horns == group) {
        error = "keys 'horns' and 'group': give exactly one of them";
        return std::nullopt;
    }
    TRingAsk ask;
    if (horns) ask.Horns = body.at("horns").get<std::vector<std::string>>();
    ask.Group = Text(body, "group");
    ask.Tone = body.value("tone", 0);
    if (body.contains("duration_s")) {
        const double seconds = body.at("duration_s").get<double>();
        ask.Duration = std::chrono::milliseconds(std::llround(seconds * 1000));
    }
    return ask;
}

std::optional<TExceptionAsk> ExceptionAskFrom(const json& body, std::string& error) {
    const bool date = body.contains("date");
    const bool from = body.contains("from");
    const bool to = body.contains("to");
    if (date == (from || to) || from != to) {
        error = "keys 'date', 'from' and 'to': give date, or from and to";
        return std::nullopt;
    }
    const bool plan = body.contains("plan");
    const bool noBells = body.value("no_bells", false);
    if (plan == noBells) {
        error = "keys 'plan' and 'no_bells': give a plan, or no_bells: true";
        return std::nullopt;
    }
    TExceptionAsk ask;
    ask.First = *ParseDate(Text(body, date ? "date" : "from"));
    ask.Last = *ParseDate(Text(body, date ? "date" : "to"));
    if (std::chrono::sys_days(ask.Last) < std::chrono::sys_days(ask.First)) {
        error = "key 'to': must not be before 'from'";
        return std::nullopt;
    }
    if (plan) ask.Plan = Text(body, "plan");
    ask.Name = Text(body, "name");
    return ask;
}

std::optional<TLogQuery> LogQueryFrom(const json& query, std::string& error) {
    TLogQuery out;
    if (query.contains("since")) out.Since = ParseInstant(Text(query, "since"));
    if (query.contains("until")) out.Until = ParseInstant(Text(query, "until"));
    out.Horn = Text(query, "horn");
    if (query.contains("cause")) out.Causes = query.at("cause").get<std::vector<std::string>>();
    if (query.contains("kind")) out.Kinds = query.at("kind").get<std::vector<std::string>>();
    out.Limit = query.value("limit", 100);
    if (query.contains("cursor")) {
        out.After = ParseCursor(Text(query, "cursor"));
        if (!out.After) {
            error = "query 'cursor': not a cursor this service gave";
            return std::nullopt;
        }
    }
    return out;
}

std::optional<TUserAsk> UserAskFrom(const json& body, std::string& /*error*/) {
    return TUserAsk{Text(body, "name"), *RoleFromName(Text(body, "role")), Text(body, "password")};
}

std::optional<TUserChange> UserChangeFrom(const json& body, std::string& error) {
    if (body.empty()) {
        error = "give at least one of 'role', 'password', 'disabled'";
        return std::nullopt;
    }
    TUserChange change;
    if (body.contains("role")) change.Role = RoleFromName(Text(body, "role"));
    if (body.contains("password")) change.Password = Text(body, "password");
    if (body.contains("disabled")) change.Disabled = body.at("disabled").get<bool>();
    return change;
}

std::optional<TTokenAsk> TokenAskFrom(const json& body, std::string& /*error*/) {
    TTokenAsk ask;
    ask.User = Text(body, "user");
    ask.Name = Text(body, "name");
    if (body.contains("role")) ask.Role = RoleFromName(Text(body, "role"));
    return ask;
}

}  // namespace kstbell::web
