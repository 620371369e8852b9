#include "web/api_routes.h"

namespace kstbell::web {

std::vector<TRoute> ApiRoutes(const TApiSetup& setup) {
    std::vector<TRoute> routes;
    AddSessionRoutes(routes);
    AddSiteRoutes(routes);
    AddScheduleRoutes(routes);
    AddTimetableRoutes(routes);
    AddLogRoutes(routes);
    AddPeopleRoutes(routes);
    AddServiceRoutes(routes, setup);
    return routes;
}

}  // namespace kstbell::web
