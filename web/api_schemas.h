#pragma once

// The shapes of the API's answers, once, as OpenAPI 3.0 schemas under
// #/components/schemas: the routes refer to them and json_views.cpp writes them.

#include <string_view>

#include <nlohmann/json.hpp>

namespace kstbell::web {

nlohmann::json ComponentSchemas();

// {"$ref": "#/components/schemas/NAME"}
nlohmann::json Ref(std::string_view name);
// An array of NAME.
nlohmann::json ListOf(std::string_view name);

}  // namespace kstbell::web
