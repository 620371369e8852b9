#pragma once

// The OpenAPI 3.0 document of the API, written from the route table: every route with its
// permission (x-permission, and the security it accepts), inputs, answer and errors. The
// errors every route of a kind may answer are added here: 401, 403 and 503 for routes that
// need credentials, 400, 413 and 415 for those that take a body or parameters.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "web/route.h"

namespace kstbell::web {

nlohmann::json OpenApiDocument(const std::vector<TRoute>& routes, const std::string& version);

// The error kinds a route may answer, those every route of its kind may give included.
std::vector<TErrorKind> RouteErrors(const TRoute& route);

}  // namespace kstbell::web
