// The timetable as people edit it (day plans, week, holidays): read by every role, replaced by
// an admin from the revision it was read at (If-Match), its revisions and their restore, and
// the days a range of dates runs.

#include <charconv>
#include <chrono>

#include "web/api_routes.h"
#include "web/api_schemas.h"
#include "web/json_views.h"
#include "web/time_text.h"

namespace kstbell::web {

namespace {

using namespace std::chrono;

std::string ETag(std::int64_t revision) {
    return "\"" + std::to_string(revision) + "\"";
}

TApiResponse WithETag(const TTimetableView& view, int status = 200) {
    TApiResponse out = JsonAnswer(ToJson(view), status);
    out.Headers.emplace_back("ETag", ETag(view.Revision));
    return out;
}

// The revision an If-Match names: "REV" (or W/"REV"). Nothing, with the failure, when there
// is none or it is not one.
std::optional<std::int64_t> IfMatchRevision(const TApiRequest& r, bool required,
                                            std::optional<TFailure>& failure) {
    if (r.IfMatch.empty()) {
        if (required)
            failure = Fail(TErrorKind::PreconditionRequired,
                           "send If-Match with the ETag of the timetable the change was made "
                           "from (GET /api/v1/timetable gives it), e.g. If-Match: \"3\"");
        return std::nullopt;
    }
    std::string_view text = r.IfMatch.size() == 1 ? std::string_view(r.IfMatch.front()) : "";
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (text.starts_with("W/")) text.remove_prefix(2);
    std::int64_t revision = -1;
    if (text.size() >= 3 && text.front() == '"' && text.back() == '"') {
        const auto digits = text.substr(1, text.size() - 2);
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), revision);
        if (ec != std::errc() || end != digits.data() + digits.size()) revision = -1;
    }
    if (revision < 0) {
        failure = Fail(TErrorKind::InvalidInput,
                       "If-Match must be one ETag of the timetable, e.g. \"3\"");
        return std::nullopt;
    }
    return revision;
}

TApiResponse Get(const TApiRequest& r) {
    return WithETag(r.Service.Timetable());
}

TApiResponse Put(const TApiRequest& r) {
    std::optional<TFailure> failure;
    const auto revision = IfMatchRevision(r, true, failure);
    if (!revision) return ErrorAnswer(*failure);
    const auto saved = r.Service.SaveTimetable(DumpJson(r.Body), *revision, *r.Caller);
    if (!saved.Ok()) return ErrorAnswer(saved.Failure());
    return WithETag(saved.Value());
}

TApiResponse Revisions(const TApiRequest& r) {
    return JsonAnswer(ToJsonList(r.Service.TimetableRevisions()));
}

TApiResponse Restore(const TApiRequest& r) {
    std::optional<TFailure> failure;
    const auto expected = IfMatchRevision(r, false, failure);
    if (failure) return ErrorAnswer(*failure);
    const auto restored =
        r.Service.RestoreTimetable(r.Path.at("rev").get<std::int64_t>(), expected, *r.Caller);
    if (!restored.Ok()) return ErrorAnswer(restored.Failure());
    return WithETag(restored.Value());
}

TApiResponse Days(const TApiRequest& r) {
    const auto first = ParseDate(r.Query.at("from").get<std::string>());
    const auto last = ParseDate(r.Query.at("to").get<std::string>());
    if (!first || !last) return ErrorAnswer(TErrorKind::InvalidInput, "not a date");
    const auto count = (sys_days{*last} - sys_days{*first}).count() + 1;
    if (count < 1) return ErrorAnswer(TErrorKind::InvalidInput, "query 'to': comes before from");
    if (count > IWebService::kMostDays)
        return ErrorAnswer(
            TErrorKind::InvalidInput,
            "query 'to': at most " + std::to_string(IWebService::kMostDays) + " days from 'from'");
    const auto found = r.Service.Days(*first, *last, r.Query.value("bells", true));
    if (!found.Ok()) return ErrorAnswer(found.Failure());
    return JsonAnswer(ToJsonList(found.Value()));
}

TFields DocumentFields() {
    return {{.Name = "plans",
             .Type = TFieldType::Object,
             .Description = "day plans by name: {\"bells\": [{time \"HH:MM[:SS]\", group, tone "
                            "0-3, duration_s 1-86400, label (optional)}]}",
             .Required = true},
            {.Name = "week",
             .Type = TFieldType::Object,
             .Description = "monday ... sunday: a plan's name, or null (no bells)",
             .Required = true},
            {.Name = "holidays",
             .Type = TFieldType::List,
             .Description = "[{name, first, last}]: days without bells (dates YYYY-MM-DD)",
             .Required = true}};
}

}  // namespace

void AddTimetableRoutes(std::vector<TRoute>& routes) {
    const std::string base = std::string(kApiPrefix) + "/timetable";
    routes.push_back(
        {.Method = "GET",
         .Path = base,
         .Access = TAccess::View,
         .Handler = Get,
         .Doc = {.Tag = "timetable",
                 .Summary = "The timetable: day plans, week, holidays",
                 .Description = "Where it is kept (source file: the site file's [schedule], "
                                "read only; database: edited here) and its revision, also as "
                                "the ETag header.",
                 .Response = Ref("Timetable")}});
    routes.push_back(
        {.Method = "PUT",
         .Path = base,
         .Access = TAccess::Administer,
         .Handler = Put,
         .Doc = {.Tag = "timetable",
                 .Summary = "Replace the timetable",
                 .Description =
                     "The body holds plans, week and holidays as GET gives them (the other "
                     "keys of GET's answer are left out). Needs If-Match with the ETag it was made "
                     "from (428 without, 412 when "
                     "another revision is current: the message says who saved it and when). "
                     "Checked as the site file's [schedule] is, with the same messages, every "
                     "mistake at once (error.details); nothing changes then. 409 while the "
                     "site file holds the timetable. The bells ring by the new one at once.",
                 .Body = DocumentFields(),
                 .Response = Ref("Timetable"),
                 .Errors = {TErrorKind::Conflict, TErrorKind::PreconditionFailed,
                            TErrorKind::PreconditionRequired}}});
    routes.push_back({.Method = "GET",
                      .Path = base + "/revisions",
                      .Access = TAccess::View,
                      .Handler = Revisions,
                      .Doc = {.Tag = "timetable",
                              .Summary = "The timetable's revisions, newest first",
                              .Response = ListOf("TimetableRevision")}});
    routes.push_back(
        {.Method = "POST",
         .Path = base + "/revisions/{rev}/restore",
         .Access = TAccess::Administer,
         .Handler = Restore,
         .Doc = {.Tag = "timetable",
                 .Summary = "Restore a revision",
                 .Description = "Saves a new revision equal to that one. If-Match is optional "
                                "here; when given, a stale one is refused (412).",
                 .PathParams =
                     {{.Name = "rev", .Type = TFieldType::Integer, .Required = true, .Min = 1}},
                 .Response = Ref("Timetable"),
                 .Errors = {TErrorKind::NotFound, TErrorKind::Conflict,
                            TErrorKind::PreconditionFailed}}});
    routes.push_back(
        {.Method = "GET",
         .Path = std::string(kApiPrefix) + "/days",
         .Access = TAccess::View,
         .Handler = Days,
         .Doc = {.Tag = "timetable",
                 .Summary = "The days of a range of dates",
                 .Description = "Each date from from to to (both included, at most 400 days): "
                                "its plan, the rule that chose it (week, exception, holiday, "
                                "with the exception's or holiday's name) and its bells (none "
                                "with bells=false; at most 50000 in all, else 400).",
                 .Query = {{.Name = "from", .Type = TFieldType::Date, .Required = true},
                           {.Name = "to", .Type = TFieldType::Date, .Required = true},
                           {.Name = "bells",
                            .Type = TFieldType::Boolean,
                            .Description = "with each day's bells (true)"}},
                 .Response = ListOf("Day")}});
}

}  // namespace kstbell::web
