// The site: horns with their live state, groups, rings, stop all, alarms.

#include <algorithm>
#include <map>

#include "web/api_inputs.h"
#include "web/api_routes.h"
#include "web/api_schemas.h"
#include "web/json_views.h"

namespace kstbell::web {

namespace {

using nlohmann::json;

std::string Param(const TApiRequest& r, const char* name) {
    return r.Path.at(name).get<std::string>();
}

// A ring none of whose horns switched on: 502 unreachable, or the one reason every horn gave
// when that has a kind of its own (no reply, refused, busy).
TFailure NoneOnFailure(const TRingInfo& ring) {
    std::vector<std::string> reasons;
    std::map<std::string, std::size_t> counts;
    for (const auto& h : ring.NotSwitchedOn)
        if (counts[h.Reason]++ == 0) reasons.push_back(h.Reason);
    TErrorKind kind = TErrorKind::Unreachable;
    if (reasons.size() == 1 && reasons[0] == "no_reply") kind = TErrorKind::NoReply;
    if (reasons.size() == 1 && reasons[0] == "refused") kind = TErrorKind::Refused;
    if (reasons.size() == 1 && reasons[0] == "busy") kind = TErrorKind::Busy;
    const std::size_t all = ring.Horns.size();
    std::string message = all == 1
                              ? std::string("the horn was not switched on (")
                              : "none of the " + std::to_string(all) + " horns was switched on (";
    for (std::size_t i = 0; i < reasons.size(); ++i) {
        std::string words = reasons[i];
        std::replace(words.begin(), words.end(), '_', ' ');
        message += (i ? ", " : "") + std::to_string(counts[reasons[i]]) + " " + words;
    }
    return Fail(kind, message + "); the ring was ended");
}

// The entity tag of the horns list under a version: a client that sends it back in
// If-None-Match while nothing changed gets 304 and no body.
std::string HornsTag(std::uint64_t version) {
    return "\"horns-" + std::to_string(version) + "\"";
}

// Whether one of the If-None-Match headers names tag (each may list several, weak or not, or
// be "*").
bool Matches(const std::vector<std::string>& headers, const std::string& tag) {
    for (const auto& header : headers) {
        std::size_t at = 0;
        while (at < header.size()) {
            std::size_t end = header.find(',', at);
            if (end == std::string::npos) end = header.size();
            std::string_view one(header.data() + at, end - at);
            while (!one.empty() && (one.front() == ' ' || one.front() == '\t'))
                one.remove_prefix(1);
            while (!one.empty() && (one.back() == ' ' || one.back() == '\t'))
                one.remove_suffix(1);
            if (one.starts_with("W/")) one.remove_prefix(2);
            if (one == "*" || one == tag) return true;
            at = end + 1;
        }
    }
    return false;
}

TApiResponse NotModified(const std::string& tag) {
    TApiResponse out;
    out.Status = 304;
    out.Headers.emplace_back("ETag", tag);
    return out;
}

TApiResponse Horns(const TApiRequest& r) {
    // The version is read first: a change while the horns are read leaves a newer version, so
    // an answer is never kept under a version it does not show.
    const std::uint64_t version = r.Service.HornsVersion();
    if (!r.Cache || version == 0) return JsonAnswer(ToJsonList(r.Service.Horns()));
    const std::string tag = HornsTag(version);
    if (Matches(r.IfNoneMatch, tag)) return NotModified(tag);
    auto text = r.Cache->Get("horns", version);
    if (!text) {
        const auto horns = r.Service.Horns();
        if (r.Changes) r.Changes->Note(version, horns);
        text = std::make_shared<const std::string>(DumpJson(ToJsonList(horns)));
        r.Cache->Put("horns", version, text);
    }
    TApiResponse out;
    out.Shared = std::move(text);
    out.ContentType = "application/json";
    out.Headers.emplace_back("ETag", tag);
    return out;
}

// The horns that changed since a version the client holds (the number of an ETag of the horns
// list, or of this answer), or every horn when that version is not known here.
TApiResponse HornChanges(const TApiRequest& r) {
    const std::uint64_t version = r.Service.HornsVersion();
    const auto horns = r.Service.Horns();
    const std::uint64_t since =
        r.Query.contains("since") ? r.Query.at("since").get<std::uint64_t>() : 0;
    std::optional<std::vector<THornInfo>> changed;
    if (r.Changes && version != 0) {
        r.Changes->Note(version, horns);
        changed = r.Changes->Since(since, horns);
    }
    TApiResponse out = JsonAnswer({{"version", version},
                                   {"complete", !changed.has_value()},
                                   {"horns", ToJsonList(changed ? *changed : horns)}});
    if (version != 0) out.Headers.emplace_back("ETag", HornsTag(version));
    return out;
}

TApiResponse OneHorn(const TApiRequest& r) {
    const auto address = Param(r, "address");
    const auto horn = r.Service.Horn(address);
    if (!horn) return ErrorAnswer(TErrorKind::NotFound, "no horn at '" + address + "'");
    return JsonAnswer(ToJson(*horn));
}

TApiResponse StopHorn(const TApiRequest& r) {
    const auto address = Param(r, "address");
    if (auto failure = r.Service.StopHorn(address, *r.Caller)) return ErrorAnswer(*failure);
    return JsonAnswer({{"horn", address}}, 202);
}

TApiResponse Groups(const TApiRequest& r) {
    return JsonAnswer(ToJsonList(r.Service.Groups()));
}

TApiResponse GroupSettings(const TApiRequest& r) {
    return JsonAnswer(ToJson(r.Service.NamesView()));
}

TApiResponse RenameHorn(const TApiRequest& r) {
    const auto address = Param(r, "address");
    if (auto failure =
            r.Service.RenameHorn(address, r.Body.at("name").get<std::string>(), *r.Caller))
        return ErrorAnswer(*failure);
    const auto horn = r.Service.Horn(address);
    if (!horn) return ErrorAnswer(TErrorKind::NotFound, "no horn at '" + address + "'");
    return JsonAnswer(ToJson(*horn));
}

TApiResponse SetGroup(const TApiRequest& r) {
    const auto group = r.Service.SetGroup(
        Param(r, "name"), r.Body.at("horns").get<std::vector<std::string>>(), *r.Caller);
    if (!group.Ok()) return ErrorAnswer(group.Failure());
    return JsonAnswer(ToJson(group.Value()));
}

TApiResponse RemoveGroup(const TApiRequest& r) {
    if (auto failure = r.Service.RemoveGroup(Param(r, "name"), *r.Caller))
        return ErrorAnswer(*failure);
    return NoContent();
}

TApiResponse Ring(const TApiRequest& r) {
    std::string error;
    const auto ask = RingAskFrom(r.Body, error);
    if (!ask) return ErrorAnswer(TErrorKind::InvalidInput, error);
    const auto ring = r.Service.Ring(*ask, *r.Caller);
    if (!ring.Ok()) return ErrorAnswer(ring.Failure());
    if (ring.Value().NoneOn()) {
        // A failure, with the ring's answer beside the error: which horn, and why not.
        TApiResponse out = ErrorAnswer(NoneOnFailure(ring.Value()));
        out.Json["ring"] = ToJson(ring.Value());
        return out;
    }
    return JsonAnswer({{"ring", ToJson(ring.Value())}}, 202);
}

// The answer says what was stopped, when the service counts it.
TApiResponse StopAll(const TApiRequest& r) {
    const auto counts = r.Service.StopAllCounted(*r.Caller);
    if (!counts) return JsonAnswer(json::object(), 202);
    return JsonAnswer({{"rings_stopped", counts->Rings}, {"alarms_stopped", counts->Alarms}}, 202);
}

TApiResponse Alarms(const TApiRequest& r) {
    return JsonAnswer(ToJsonList(r.Service.Alarms()));
}

TApiResponse StartAlarm(const TApiRequest& r) {
    const auto alarm = r.Service.StartAlarm(Param(r, "name"), *r.Caller);
    if (!alarm.Ok()) return ErrorAnswer(alarm.Failure());
    return JsonAnswer({{"alarm", ToJson(alarm.Value())}}, 202);
}

TApiResponse StopAlarm(const TApiRequest& r) {
    const auto name = Param(r, "name");
    if (auto failure = r.Service.StopAlarm(name, *r.Caller)) return ErrorAnswer(*failure);
    return JsonAnswer({{"alarm", name}}, 202);
}

const TFields kAddress = {{.Name = "address",
                           .Type = TFieldType::String,
                           .Description = "the horn's address",
                           .Required = true,
                           .Min = 1,
                           .Max = 200}};
const TFields kGroup = {{.Name = "name",
                         .Type = TFieldType::String,
                         .Description = "the group's name",
                         .Required = true,
                         .Min = 1,
                         .Max = 200}};
const TFields kAlarm = {{.Name = "name",
                         .Type = TFieldType::String,
                         .Description = "the alarm's name in the site file",
                         .Required = true,
                         .Min = 1,
                         .Max = 200}};

}  // namespace

void AddSiteRoutes(std::vector<TRoute>& routes) {
    const std::string api = kApiPrefix;
    routes.push_back({.Method = "GET",
                      .Path = api + "/horns",
                      .Access = TAccess::View,
                      .Handler = Horns,
                      .Doc = {.Tag = "horns",
                              .Summary = "Every horn with its live state (ETag; If-None-Match "
                                         "answers 304 while nothing changed)",
                              .Response = ListOf("Horn")}});
    routes.push_back({.Method = "GET",
                      .Path = api + "/horn-changes",
                      .Access = TAccess::View,
                      .Handler = HornChanges,
                      .Doc = {.Tag = "horns",
                              .Summary = "The horns that changed since a version of the list",
                              .Query = {{.Name = "since",
                                         .Type = TFieldType::Integer,
                                         .Description = "a version the client holds: the number "
                                                        "in an ETag of the horns list, or the "
                                                        "version of an earlier answer (none: "
                                                        "every horn)",
                                         .Min = 0}},
                              .Response = Ref("HornChanges")}});
    routes.push_back({.Method = "GET",
                      .Path = api + "/horns/{address}",
                      .Access = TAccess::View,
                      .Handler = OneHorn,
                      .Doc = {.Tag = "horns",
                              .Summary = "One horn",
                              .PathParams = kAddress,
                              .Response = Ref("Horn"),
                              .Errors = {TErrorKind::NotFound}}});
    routes.push_back(
        {.Method = "POST",
         .Path = api + "/horns/{address}/stop",
         .Access = TAccess::Operate,
         .Handler = StopHorn,
         .Doc = {.Tag = "horns",
                 .Summary = "Stop a horn",
                 .Description = "Ends whatever holds the horn and switches it off. Never refused.",
                 .PathParams = kAddress,
                 .Body = TFields{},
                 .Status = 202,
                 .Response = {{"type", "object"},
                              {"properties", {{"horn", {{"type", "string"}}}}},
                              {"required", {"horn"}}},
                 .Errors = {TErrorKind::NotFound}}});
    routes.push_back({.Method = "GET",
                      .Path = api + "/groups",
                      .Access = TAccess::View,
                      .Handler = Groups,
                      .Doc = {.Tag = "horns",
                              .Summary = "The groups of horns (\"all\" first)",
                              .Response = ListOf("Group")}});
    routes.push_back(
        {.Method = "GET",
         .Path = api + "/groups/settings",
         .Access = TAccess::View,
         .Handler = GroupSettings,
         .Doc = {.Tag = "horns",
                 .Summary = "Where the groups and each horn's name are set",
                 .Description = "source file: the site file has [groups], and they are read only "
                                "here; database: they are changed with PUT and DELETE "
                                "/groups/{name}. Each horn's name likewise: the site file's, or "
                                "one set with PUT /horns/{address}/name.",
                 .Response = Ref("GroupSettings")}});
    routes.push_back(
        {.Method = "PUT",
         .Path = api + "/horns/{address}/name",
         .Access = TAccess::Administer,
         .Handler = RenameHorn,
         .Doc = {.Tag = "horns",
                 .Summary = "Name a horn (an empty name clears it)",
                 .Description = "Only for a horn the site file gives no name (409 otherwise). "
                                "The name shows at once in the horns list and the log's new "
                                "lines; the MQTT front takes it at the next start.",
                 .PathParams = kAddress,
                 .Body = TFields{{.Name = "name",
                                  .Type = TFieldType::String,
                                  .Description = "the horn's name; empty: none",
                                  .Required = true,
                                  .Max = 200}},
                 .Response = Ref("Horn"),
                 .Errors = {TErrorKind::NotFound, TErrorKind::Conflict}}});
    routes.push_back(
        {.Method = "PUT",
         .Path = api + "/groups/{name}",
         .Access = TAccess::Administer,
         .Handler = SetGroup,
         .Doc = {.Tag = "horns",
                 .Summary = "Add or replace a group",
                 .Description = "Only when the site file has no [groups] (409 otherwise). The "
                                "name and the members follow the site file's rules: 1 to 32 "
                                "lower-case letters, digits, _ and -, not \"all\"; each member a "
                                "horn's name, address or range. The next ring of the group "
                                "takes its horns as saved.",
                 .PathParams = kGroup,
                 .Body = TFields{{.Name = "horns",
                                  .Type = TFieldType::StringList,
                                  .Description = "the horns: names, addresses or ranges",
                                  .Required = true}},
                 .Response = Ref("Group"),
                 .Errors = {TErrorKind::Conflict}}});
    routes.push_back({.Method = "DELETE",
                      .Path = api + "/groups/{name}",
                      .Access = TAccess::Administer,
                      .Handler = RemoveGroup,
                      .Doc = {.Tag = "horns",
                              .Summary = "Remove a group (not \"all\")",
                              .PathParams = kGroup,
                              .Status = 204,
                              .Errors = {TErrorKind::NotFound, TErrorKind::Conflict}}});
    routes.push_back(
        {.Method = "POST",
         .Path = api + "/ring",
         .Access = TAccess::Operate,
         .Handler = Ring,
         .Doc = {.Tag = "rings",
                 .Summary = "Ring horns or a group",
                 .Description = "Starts a ring at the priority of manual rings. The site's "
                                "longest ring applies (clamped says so); horns held by a ring of "
                                "higher priority stay with it (held_by_others). The answer waits "
                                "(a reply wait or so at most) for the horns: switched_on, "
                                "not_switched_on (with the reason: offline, unreachable, "
                                "no_reply, refused, busy) and pending (no answer yet). A horn "
                                "not switched on is switched on when it answers again during "
                                "the ring. When every horn answered and none switched on, the "
                                "ring is ended and the answer is an error (502 unreachable, "
                                "504 no_reply, 502 refused or 503 busy) with the ring beside it.",
                 .Body = RingFields(),
                 .Status = 202,
                 .Response = {{"type", "object"},
                              {"properties", {{"ring", Ref("Ring")}}},
                              {"required", {"ring"}}},
                 .Errors = {TErrorKind::NotFound, TErrorKind::Internal, TErrorKind::Unreachable,
                            TErrorKind::NoReply, TErrorKind::Refused, TErrorKind::Busy}}});
    routes.push_back({.Method = "POST",
                      .Path = api + "/stop-all",
                      .Access = TAccess::Operate,
                      .Handler = StopAll,
                      .Doc = {.Tag = "rings",
                              .Summary = "Stop everything",
                              .Description = "Ends every ring and alarm at once. Never refused. "
                                             "The answer counts what was sounding just before: "
                                             "the alarms, and the other rings holding a horn "
                                             "(an alarm's rings count as the alarm).",
                              .Body = TFields{},
                              .Status = 202,
                              .Response = {{"type", "object"},
                                           {"properties",
                                            {{"rings_stopped", {{"type", "integer"}}},
                                             {"alarms_stopped", {{"type", "integer"}}}}}}}});
    routes.push_back({.Method = "GET",
                      .Path = api + "/alarms",
                      .Access = TAccess::View,
                      .Handler = Alarms,
                      .Doc = {.Tag = "alarms",
                              .Summary = "The site's alarms and whether they sound",
                              .Response = ListOf("Alarm")}});
    routes.push_back({.Method = "POST",
                      .Path = api + "/alarms/{name}/start",
                      .Access = TAccess::Operate,
                      .Handler = StartAlarm,
                      .Doc = {.Tag = "alarms",
                              .Summary = "Start an alarm",
                              .PathParams = kAlarm,
                              .Body = TFields{},
                              .Status = 202,
                              .Response = {{"type", "object"},
                                           {"properties", {{"alarm", Ref("Alarm")}}},
                                           {"required", {"alarm"}}},
                              .Errors = {TErrorKind::NotFound, TErrorKind::Internal}}});
    routes.push_back({.Method = "POST",
                      .Path = api + "/alarms/{name}/stop",
                      .Access = TAccess::Operate,
                      .Handler = StopAlarm,
                      .Doc = {.Tag = "alarms",
                              .Summary = "Stop an alarm",
                              .PathParams = kAlarm,
                              .Body = TFields{},
                              .Status = 202,
                              .Response = {{"type", "object"},
                                           {"properties", {{"alarm", {{"type", "string"}}}}},
                                           {"required", {"alarm"}}},
                              .Errors = {TErrorKind::NotFound, TErrorKind::Conflict}}});
}

}  // namespace kstbell::web
