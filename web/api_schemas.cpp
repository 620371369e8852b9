#include "web/api_schemas.h"

#include <string>

namespace kstbell::web {

using nlohmann::json;

namespace {

json Type(const char* type, const char* description = nullptr) {
    json out = {{"type", type}};
    if (description) out["description"] = description;
    return out;
}
json Str(const char* description = nullptr) {
    return Type("string", description);
}
json Int(const char* description = nullptr) {
    return Type("integer", description);
}
json Bool(const char* description = nullptr) {
    return Type("boolean", description);
}
json Time(const char* description = nullptr) {
    json out = Str(description);
    out["format"] = "date-time";
    return out;
}
json Date(const char* description = nullptr) {
    json out = Str(description);
    out["format"] = "date";
    return out;
}
// OpenAPI 3.0 ignores what stands beside a $ref: a reference that may be null goes in allOf.
json Nullable(json schema) {
    if (schema.contains("$ref")) schema = {{"allOf", json::array({schema})}};
    schema["nullable"] = true;
    return schema;
}
json Strings(const char* description = nullptr) {
    json out = {{"type", "array"}, {"items", Str()}};
    if (description) out["description"] = description;
    return out;
}
json Choice(std::initializer_list<const char*> values, const char* description = nullptr) {
    json out = Str(description);
    out["enum"] = json::array();
    for (const auto* v : values)
        out["enum"].push_back(v);
    return out;
}

// An object whose every property is always there.
json Object(json properties, const char* description = nullptr) {
    json required = json::array();
    for (const auto& [key, value] : properties.items())
        required.push_back(key);
    json out = {{"type", "object"}, {"properties", std::move(properties)}, {"required", required}};
    if (description) out["description"] = description;
    return out;
}

const auto kRoles = {"viewer", "operator", "admin"};
const auto kCauses = {"schedule", "alarm", "input", "mqtt", "http", "cli", "service"};

}  // namespace

json Ref(std::string_view name) {
    return {{"$ref", "#/components/schemas/" + std::string(name)}};
}

json ListOf(std::string_view name) {
    return {{"type", "array"}, {"items", Ref(name)}};
}

json ComponentSchemas() {
    json s;
    s["Error"] = Object({{"error", Object({{"kind", Str("invalid_input, unauthenticated, "
                                                        "forbidden, not_found, conflict, "
                                                        "too_large, rate_limited, starting, "
                                                        "busy, unreachable, no_reply, ...")},
                                           {"message", Str("what is wrong, for people")}})}});
    // Only when there are several mistakes (a timetable refused): each one.
    s["Error"]["properties"]["error"]["properties"]["details"] = Strings("every mistake");
    json caller = {{"type", "object"},
                   {"properties",
                    {{"user", Str()},
                     {"role", Choice(kRoles)},
                     {"csrf", Str("a session's CSRF token: send it as X-CSRF-Token with every "
                                  "change")},
                     {"token", Object({{"id", Int()}, {"name", Str()}},
                                      "the API token the request came with")}}},
                   {"required", {"user", "role"}}};
    s["Caller"] = caller;
    s["RingRef"] = Object({{"id", Int()},
                           {"end", Time()},
                           {"cause", Choice(kCauses)},
                           {"actor", Str("who asked for it; empty for a bell")},
                           {"label", Str("a bell's plan and time, an alarm's name, a group")}});
    s["Horn"] = Object(
        {{"address", Str("the horn's address: its key in the API")},
         {"name", Str("its name in the site file (may be empty)")},
         {"id", Nullable(Str("its MAC address, once identified"))},
         {"location", Str("the location the horn reports")},
         {"firmware",
          Nullable(Str("major.minor as the device reports it, two hexadecimal digits each "
                       "(\"01.0A\"), once identified"))},
         {"online", Bool()},
         {"presence", Choice({"unknown", "online", "offline"}, "unknown: not heard from yet")},
         {"output", Bool("the relay (sounding)")},
         {"input", Bool("the digital input")},
         {"armed", Bool()},
         {"rssi_dbm", Nullable(Int("Wi-Fi signal"))},
         {"tone", Int()},
         {"groups", Strings()},
         {"ring", Nullable(Ref("RingRef"))}});
    s["HornChanges"] =
        Object({{"version", Int("the version of the horns list this answer shows")},
                {"complete", Bool("true: every horn, as the version asked for is not known here")},
                {"horns", ListOf("Horn")}});
    s["Group"] = Object({{"name", Str()}, {"horns", Strings("addresses")}});
    s["GroupSettings"] = Object(
        {{"source", Choice({"file", "database"},
                           "file: the site file has [groups], which are read only here")},
         {"revision", Int("of the names and groups kept in the database; 0: none saved")},
         {"horns", json{{"type", "array"},
                        {"items", Object({{"address", Str()},
                                          {"name", Str("empty: none")},
                                          {"source", Choice({"file", "database"},
                                                            "file: the site file names it")}})}}}});
    s["Ring"] = Object({{"id", Int()},
                        {"start", Time()},
                        {"end", Time()},
                        {"clamped", Bool("the duration asked for was longer than allowed")},
                        {"horns", Strings("the horns it holds")},
                        {"held_by_others", Strings("horns a ring of higher priority keeps")},
                        {"tone", Int()},
                        {"priority", Int()},
                        {"cause", Choice(kCauses)},
                        {"actor", Str()},
                        {"label", Str()}});
    // The answer to a ring asked for adds what became of the switch-on (not in its events).
    auto& ring = s["Ring"]["properties"];
    ring["switched_on"] = Strings("the horns switched on");
    ring["not_switched_on"] = {
        {"type", "array"},
        {"description", "the horns not switched on, and why"},
        {"items",
         Object({{"horn", Str()},
                 {"reason", Str("offline, unreachable, no_reply, refused, busy, socket_error")},
                 {"message", Str("the horn's or the link's own words; may be empty")}})}};
    ring["pending"] = Strings("the horns that had not answered when the answer went");
    s["RingEnd"] = Object({{"id", Int()},
                           {"stopped", Bool("ended before its time")},
                           {"horns", Strings()},
                           {"cause", Choice(kCauses)},
                           {"at", Time()}});
    s["Alarm"] = Object({{"name", Str()},
                         {"label", Str()},
                         {"priority", Int()},
                         {"sounding", Bool()},
                         {"ring", Nullable(Ref("RingRef"))}});
    s["Bell"] = Object({{"at", Time()},
                        {"local", Str("the site's wall clock, 2027-01-07T08:00:00")},
                        {"date", Date("the day whose plan holds it")},
                        {"plan", Str()},
                        {"group", Str()},
                        {"tone", Int()},
                        {"duration_s", Int()},
                        {"state", Choice({"past", "next", "upcoming"})},
                        {"moved", Bool("its time did not exist that day (clock change)")},
                        {"label", Str("the bell's, for people; may be empty")}});
    s["Day"] = Object({{"date", Date()},
                       {"plan", Nullable(Str("none: no bells"))},
                       {"rule", Choice({"week", "exception", "holiday"})},
                       {"name", Str("the exception's or holiday's")},
                       {"bells", ListOf("Bell")}});
    json week = json::object();
    for (const auto* day :
         {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"}) {
        week[day] = Nullable(Str());
    }
    s["Plans"] = Object({{"time_zone", Str()},
                         {"plans",
                          {{"type", "array"},
                           {"items", Object({{"name", Str()},
                                             {"bells",
                                              {{"type", "array"},
                                               {"items", Object({{"time", Str("08:00:00")},
                                                                 {"group", Str()},
                                                                 {"tone", Int()},
                                                                 {"duration_s", Int()}})}}}})}}},
                         {"week", Object(week)}});
    json timetableBell = Object({{"time", Str("08:00, or 08:00:30")},
                                 {"group", Str()},
                                 {"tone", Int("0 to 3")},
                                 {"duration_s", Int()},
                                 {"label", Str("may be empty")}});
    s["Timetable"] = Object(
        {{"source", Choice({"file", "database"},
                           "file: the site file's [schedule], read only here; database: edited "
                           "here")},
         {"revision", Int("the ETag; 0: the site file's, or nothing saved yet")},
         {"changed_by", Str()},
         {"changed_at", Nullable(Time())},
         {"plans",
          {{"type", "object"},
           {"description", "by name"},
           {"additionalProperties",
            Object({{"bells", {{"type", "array"}, {"items", timetableBell}}}})}}},
         {"week", Object(week)},
         {"holidays",
          {{"type", "array"},
           {"items", Object({{"name", Str()}, {"first", Date()}, {"last", Date()}})}}}});
    s["TimetableRevision"] = Object({{"revision", Int()},
                                     {"changed_by", Str()},
                                     {"changed_at", Time()},
                                     {"summary", Str("what changed, in words")}});
    s["Exception"] = Object({{"id", Nullable(Int("none for the site file's"))},
                             {"source", Choice({"file", "added"})},
                             {"from", Date()},
                             {"to", Date()},
                             {"plan", Nullable(Str("none: no bells"))},
                             {"name", Str()},
                             {"added_by", Str()},
                             {"added", Nullable(Time())}});
    s["LogEntry"] = Object({{"id", Int()},
                            {"at", Time()},
                            {"kind", Str()},
                            {"cause", Str()},
                            {"actor", Str("the user or token that asked")},
                            {"horn", Str()},
                            {"horn_id", Str()},
                            {"group", Str()},
                            {"alarm", Str()},
                            {"tone", Nullable(Int())},
                            {"duration_ms", Nullable(Int())},
                            {"ring", Nullable(Int())},
                            {"detail", Str()}});
    s["LogPage"] = Object({{"entries", ListOf("LogEntry")},
                           {"next_cursor", Nullable(Str("pass as cursor for the next page"))}});
    s["User"] = Object({{"name", Str()},
                        {"role", Choice(kRoles)},
                        {"created", Time()},
                        {"password_changed", Time()},
                        {"disabled", Nullable(Time())}});
    s["Token"] = Object({{"id", Int()},
                         {"user", Str()},
                         {"name", Str()},
                         {"role", Choice(kRoles)},
                         {"acts_as", Choice(kRoles, "capped by its user's role")},
                         {"user_disabled", Bool()},
                         {"created", Time()},
                         {"last_used", Nullable(Time())}});
    json newToken = s["Token"];
    newToken["properties"]["secret"] = Str("the token: shown only here");
    newToken["required"].push_back("secret");
    s["NewToken"] = newToken;
    s["Health"] =
        Object({{"status", Choice({"ok", "degraded", "failing", "starting"},
                                  "degraded: some horns are offline; failing (503): the database "
                                  "cannot be read or written, or its disk is full")},
                {"site", Str()},
                {"version", Str()},
                {"horns", Object({{"total", Int()}, {"online", Int()}, {"offline", Int()}})},
                {"problems", Strings("what makes it failing or degraded, one sentence each")},
                {"uptime_s", Int()}});
    return s;
}

}  // namespace kstbell::web
