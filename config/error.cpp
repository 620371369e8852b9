#include "config/error.h"

#include <algorithm>

namespace kstbell::config {

std::string FormatError(const TError& error) {
    return error.File + ":" + std::to_string(error.Line) + ": key '" + error.Key +
           "': " + error.Reason;
}

void SortByLine(std::vector<TError>& errors) {
    std::stable_sort(errors.begin(), errors.end(),
                     [](const TError& a, const TError& b) { return a.Line < b.Line; });
}

std::vector<std::string> FormatErrors(const std::vector<TError>& errors) {
    std::vector<std::string> lines;
    lines.reserve(errors.size());
    for (const auto& error : errors)
        lines.push_back(FormatError(error));
    return lines;
}

}  // namespace kstbell::config
