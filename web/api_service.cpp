// The service's own routes: its health, the OpenAPI document, the event stream, and the
// metrics for Prometheus.

#include "web/api_routes.h"
#include "web/api_schemas.h"
#include "web/json_views.h"
#include "web/metrics_text.h"

namespace kstbell::web {

namespace {

TApiResponse Health(const TApiRequest& r) {
    const auto health = r.Service.Health();
    const std::string_view status = HealthStatus(health);
    return JsonAnswer(ToJson(health), status == "ok" || status == "degraded" ? 200 : 503);
}

TApiResponse Events(const TApiRequest&) {
    TApiResponse out;
    out.EventStream = true;
    return out;
}

TApiResponse Metrics(const TApiRequest& r) {
    TApiResponse out;
    out.Text = MetricsText(r.Service.Metrics());
    out.ContentType = kMetricsContentType;
    return out;
}

}  // namespace

void AddServiceRoutes(std::vector<TRoute>& routes, const TApiSetup& setup) {
    const std::string api = kApiPrefix;
    routes.push_back(
        {.Method = "GET",
         .Path = api + "/health",
         .Access = TAccess::View,
         .Handler = Health,
         .Doc = {.Tag = "service", .Summary = "The service's health", .Response = Ref("Health")}});
    const auto text = setup.OpenApiText;
    routes.push_back(
        {.Method = "GET",
         .Path = api + "/openapi.json",
         .Access = TAccess::Public,
         .Handler =
             [text](const TApiRequest&) {
                 TApiResponse out;
                 out.Text = text ? text() : std::string("{}");
                 out.ContentType = "application/json";
                 return out;
             },
         .Doc = {.Tag = "service", .Summary = "This document", .Response = {{"type", "object"}}}});
    routes.push_back(
        {.Method = "GET",
         .Path = api + "/events",
         .Access = TAccess::View,
         .Handler = Events,
         .Doc = {.Tag = "service",
                 .Summary = "Live changes (server-sent events)",
                 .Description =
                     "First a 'snapshot' event ({site, horns, alarms}), then one event per "
                     "change: horn (a Horn), presence ({address, online, at}), ring (a Ring), "
                     "ring_end (a RingEnd), alarm (an Alarm), bell and bell_missed (a Bell with "
                     "reason), stop_all ({actor, cause, at}); a comment line every 15 s. A "
                     "client that falls behind is disconnected and gets a fresh snapshot when "
                     "it reconnects. At most [http] event_streams are open at once (503 busy "
                     "beyond).",
                 .Response = {{"type", "string"}},
                 .ResponseType = "text/event-stream",
                 .Errors = {TErrorKind::Busy}}});
    routes.push_back({.Method = "GET",
                      .Path = "/metrics",
                      .Access = setup.MetricsPublic ? TAccess::Public : TAccess::View,
                      .Handler = Metrics,
                      .Doc = {.Tag = "service",
                              .Summary = "Metrics in the Prometheus text format",
                              .Description = "Public when [http] metrics_public is true.",
                              .Response = {{"type", "string"}},
                              .ResponseType = "text/plain"}});
}

}  // namespace kstbell::web
