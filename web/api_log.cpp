// The audit log, newest first, a page at a time.

#include "web/api_inputs.h"
#include "web/api_routes.h"
#include "web/api_schemas.h"
#include "web/json_views.h"

namespace kstbell::web {

namespace {

TApiResponse Log(const TApiRequest& r) {
    std::string error;
    const auto query = LogQueryFrom(r.Query, error);
    if (!query) return ErrorAnswer(TErrorKind::InvalidInput, error);
    const auto page = r.Service.Log(*query);
    if (!page.Ok()) return ErrorAnswer(page.Failure());
    const auto& value = page.Value();
    return JsonAnswer({{"entries", ToJsonList(value.Entries)},
                       {"next_cursor", value.Next ? nlohmann::json(CursorText(*value.Next))
                                                  : nlohmann::json(nullptr)}});
}

}  // namespace

void AddLogRoutes(std::vector<TRoute>& routes) {
    routes.push_back({.Method = "GET",
                      .Path = std::string(kApiPrefix) + "/log",
                      .Access = TAccess::View,
                      .Handler = Log,
                      .Doc = {.Tag = "log",
                              .Summary = "The audit log",
                              .Description = "Newest first; filtered by time, horn, cause and "
                                             "kind. Pass next_cursor as cursor for the next "
                                             "page: pages stay right while entries are added.",
                              .Query = LogQueryFields(),
                              .Response = Ref("LogPage")}});
}

}  // namespace kstbell::web
