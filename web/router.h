#pragma once

// Finds a request's route in the table by method and decoded path segments: the route and its
// path parameters, or why none (no such path: 404; the path exists for other methods: 405 with
// the methods it has). HEAD finds the GET route.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "web/route.h"

namespace kstbell::web {

struct TMatch {
    const TRoute* Route = nullptr;
    TQueryPairs Params;                // path parameters by name, in order
    std::vector<std::string> Allowed;  // no route for the method: the methods the path has
};

class TRouter {
  public:
    explicit TRouter(std::vector<TRoute> routes);

    const std::vector<TRoute>& Routes() const { return routes_; }
    TMatch Match(std::string_view method, const std::vector<std::string>& segments) const;

  private:
    struct TPattern {
        std::vector<std::string> Parts;  // literal segments, or "" for a parameter
        std::vector<std::string> Names;  // the parameters' names in order
    };

    std::vector<TRoute> routes_;
    std::vector<TPattern> patterns_;
};

// "/api/v1/horns/{address}" -> {"api","v1","horns",""} and {"address"}.
std::pair<std::vector<std::string>, std::vector<std::string>> SplitPattern(std::string_view path);

}  // namespace kstbell::web
