#include "web/route.h"

namespace kstbell::web {

TApiResponse JsonAnswer(nlohmann::json body, int status) {
    TApiResponse out;
    out.Status = status;
    out.Json = std::move(body);
    return out;
}

TApiResponse NoContent() {
    TApiResponse out;
    out.Status = 204;
    return out;
}

TApiResponse ErrorAnswer(const TFailure& failure) {
    TApiResponse out;
    out.Status = ErrorStatus(failure.Kind);
    out.Json = {{"error", {{"kind", ErrorKindName(failure.Kind)}, {"message", failure.Message}}}};
    if (!failure.Details.empty()) out.Json["error"]["details"] = failure.Details;
    if (failure.RetryAfter) {
        out.Headers.emplace_back("Retry-After", std::to_string(failure.RetryAfter->count()));
    }
    return out;
}

}  // namespace kstbell::web
