#pragma once

// A request's target ("/api/v1/horns/10.0.1.20?x=1") as the router reads it: the path's
// segments, each percent-decoded on its own (so an encoded "/" stays inside its segment), and
// the query's pairs ('+' is a space). Strict: a '%' without two hex digits, a NUL anywhere or a
// target that does not start with '/' is refused, with the reason.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kstbell::web {

using TQueryPairs = std::vector<std::pair<std::string, std::string>>;

struct TTarget {
    std::vector<std::string> Segments;  // "/a/b" -> {"a", "b"}; "/" -> {""}
    TQueryPairs Query;
};

std::optional<TTarget> ParseTarget(std::string_view target, std::string& error);

// Percent-decodes text (with plus: '+' is a space); nothing for a broken escape or a NUL.
std::optional<std::string> PercentDecode(std::string_view text, bool plus);

}  // namespace kstbell::web
