// The timetable: today's bells, the next ones, the day plans and the week, and the exceptions
// (the site file's, read only, and those added here).

#include "web/api_inputs.h"
#include "web/api_routes.h"
#include "web/api_schemas.h"
#include "web/json_views.h"

namespace kstbell::web {

namespace {

TApiResponse Today(const TApiRequest& r) {
    return JsonAnswer(ToJson(r.Service.Today()));
}

TApiResponse Next(const TApiRequest& r) {
    const auto count = r.Query.value("count", 10);
    return JsonAnswer(ToJsonList(r.Service.NextBells(static_cast<std::size_t>(count))));
}

TApiResponse Plans(const TApiRequest& r) {
    return JsonAnswer(ToJson(r.Service.Plans()));
}

TApiResponse Exceptions(const TApiRequest& r) {
    return JsonAnswer(ToJsonList(r.Service.Exceptions()));
}

TApiResponse AddException(const TApiRequest& r) {
    std::string error;
    const auto ask = ExceptionAskFrom(r.Body, error);
    if (!ask) return ErrorAnswer(TErrorKind::InvalidInput, error);
    const auto added = r.Service.AddException(*ask, *r.Caller);
    if (!added.Ok()) return ErrorAnswer(added.Failure());
    return JsonAnswer(ToJson(added.Value()), 201);
}

TApiResponse RemoveException(const TApiRequest& r) {
    if (auto failure = r.Service.RemoveException(r.Path.at("id").get<std::int64_t>(), *r.Caller)) {
        return ErrorAnswer(*failure);
    }
    return NoContent();
}

}  // namespace

void AddScheduleRoutes(std::vector<TRoute>& routes) {
    const std::string base = std::string(kApiPrefix) + "/schedule";
    routes.push_back({.Method = "GET",
                      .Path = base + "/today",
                      .Access = TAccess::View,
                      .Handler = Today,
                      .Doc = {.Tag = "schedule",
                              .Summary = "Today's plan and bells",
                              .Description = "Today in the site's time zone: the plan it runs, "
                                             "why, and its bells (past, next, upcoming).",
                              .Response = Ref("Day")}});
    routes.push_back({.Method = "GET",
                      .Path = base + "/next",
                      .Access = TAccess::View,
                      .Handler = Next,
                      .Doc = {.Tag = "schedule",
                              .Summary = "The next bells",
                              .Query = {{.Name = "count",
                                         .Type = TFieldType::Integer,
                                         .Description = "how many (10)",
                                         .Min = 1,
                                         .Max = 100}},
                              .Response = ListOf("Bell")}});
    routes.push_back({.Method = "GET",
                      .Path = base + "/plans",
                      .Access = TAccess::View,
                      .Handler = Plans,
                      .Doc = {.Tag = "schedule",
                              .Summary = "The day plans and the week",
                              .Response = Ref("Plans")}});
    routes.push_back({.Method = "GET",
                      .Path = base + "/exceptions",
                      .Access = TAccess::View,
                      .Handler = Exceptions,
                      .Doc = {.Tag = "schedule",
                              .Summary = "Dates that run another plan or no bells",
                              .Description = "The site file's (source file, read only) and "
                                             "those added here (source added).",
                              .Response = ListOf("Exception")}});
    routes.push_back(
        {.Method = "POST",
         .Path = base + "/exceptions",
         .Access = TAccess::Administer,
         .Handler = AddException,
         .Doc = {.Tag = "schedule",
                 .Summary = "Add an exception",
                 .Description = "A date (date) or dates (from, to; both included) that run "
                                "another day plan (plan) or no bells (no_bells: true).",
                 .Body = ExceptionFields(),
                 .Status = 201,
                 .Response = Ref("Exception"),
                 .Errors = {TErrorKind::Conflict}}});
    routes.push_back(
        {.Method = "DELETE",
         .Path = base + "/exceptions/{id}",
         .Access = TAccess::Administer,
         .Handler = RemoveException,
         .Doc = {.Tag = "schedule",
                 .Summary = "Remove an exception added here",
                 .PathParams =
                     {{.Name = "id", .Type = TFieldType::Integer, .Required = true, .Min = 1}},
                 .Status = 204,
                 .Errors = {TErrorKind::NotFound}}});
}

}  // namespace kstbell::web
