#pragma once

// The API's one table of routes, put together from its parts (one file each): sign-in, the
// site (horns, groups, rings, alarms), the schedule, the timetable as people edit it, the audit
// log, people (users and tokens), and the service's own (health, the OpenAPI document, events,
// metrics).

#include <functional>
#include <string>
#include <vector>

#include "web/route.h"

namespace kstbell::web {

inline constexpr const char* kApiPrefix = "/api/v1";

struct TApiSetup {
    bool MetricsPublic = false;
    // The OpenAPI document, which is written from the finished table.
    std::function<std::string()> OpenApiText;
};

std::vector<TRoute> ApiRoutes(const TApiSetup& setup);

void AddSessionRoutes(std::vector<TRoute>& routes);
void AddSiteRoutes(std::vector<TRoute>& routes);
void AddScheduleRoutes(std::vector<TRoute>& routes);
void AddTimetableRoutes(std::vector<TRoute>& routes);
void AddLogRoutes(std::vector<TRoute>& routes);
void AddPeopleRoutes(std::vector<TRoute>& routes);
void AddServiceRoutes(std::vector<TRoute>& routes, const TApiSetup& setup);

}  // namespace kstbell::web
