#include "web/router.h"

#include <algorithm>
#include <stdexcept>

namespace kstbell::web {

std::pair<std::vector<std::string>, std::vector<std::string>> SplitPattern(std::string_view path) {
    std::vector<std::string> parts;
    std::vector<std::string> names;
    std::size_t start = 1;
    while (start <= path.size()) {
        const auto slash = path.find('/', start);
        const auto part =
            path.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (part.size() >= 2 && part.front() == '{' && part.back() == '}') {
            parts.emplace_back();
            names.emplace_back(part.substr(1, part.size() - 2));
        } else {
            parts.emplace_back(part);
        }
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return {parts, names};
}

TRouter::TRouter(std::vector<TRoute> routes) : routes_(std::move(routes)) {
    for (const auto& route : routes_) {
        auto [parts, names] = SplitPattern(route.Path);
        patterns_.push_back({std::move(parts), std::move(names)});
    }
}

TMatch TRouter::Match(std::string_view method, const std::vector<std::string>& segments) const {
    const std::string_view wanted = method == "HEAD" ? std::string_view("GET") : method;
    TMatch out;
    for (std::size_t i = 0; i < routes_.size(); ++i) {
        const auto& pattern = patterns_[i];
        if (pattern.Parts.size() != segments.size()) continue;
        bool fits = true;
        for (std::size_t k = 0; k < segments.size() && fits; ++k) {
            // A parameter takes any segment but an empty one.
            fits =
                pattern.Parts[k].empty() ? !segments[k].empty() : pattern.Parts[k] == segments[k];
        }
        if (!fits) continue;
        if (routes_[i].Method != wanted) {
            if (std::find(out.Allowed.begin(), out.Allowed.end(), routes_[i].Method) ==
                out.Allowed.end()) {
                out.Allowed.push_back(routes_[i].Method);
            }
            continue;
        }
        out.Route = &routes_[i];
        std::size_t name = 0;
        for (std::size_t k = 0; k < segments.size(); ++k) {
            if (pattern.Parts[k].empty())
                out.Params.emplace_back(pattern.Names[name++], segments[k]);
        }
        out.Allowed.clear();
        return out;
    }
    return out;
}

}  // namespace kstbell::web
