#pragma once

// kstbellctl's link to the site service's API: one request at a time with the bearer token,
// answers as JSON, and every way a request can fail as an error in the command line's terms
// ({"kind","message"}): the API's own error, or no connection, no answer in time, a
// certificate that is not trusted. Redirects are never followed (they could carry the token
// elsewhere), nothing is retried (a ring asked twice rings twice), and an answer is read up to
// a size limit. The HTTP client itself is in kstbellctl's module of the site service
// (service_module.h).

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/service_url.h"

namespace kstbell::cli {

struct TServiceOptions {
    TServiceUrl Url;
    std::string Token;
    std::string CaFile;  // https: the certificates to trust instead of the system's
    std::chrono::milliseconds ConnectTimeout{3000};
    std::chrono::milliseconds AnswerTimeout{15000};
    std::size_t MaxAnswerBytes = 16U << 20U;
};

struct TServiceAnswer {
    bool Ok = false;
    int Status = 0;  // 0: no answer came
    nlohmann::ordered_json Body;
    // When not Ok: kind and message, and status (the HTTP status) when the service answered.
    nlohmann::ordered_json Error;
};

using TQuery = std::vector<std::pair<std::string, std::string>>;

struct TServiceModule;

class TServiceClient {
  public:
    // The requests go out through module (see service_module.h).
    TServiceClient(TServiceOptions options, const TServiceModule& module);
    TServiceClient(const TServiceClient&) = delete;
    TServiceClient& operator=(const TServiceClient&) = delete;

    // path is under the API ("/ring"); action says, for a refusal of the token's role, what
    // was asked ("ring", "stop everything").
    TServiceAnswer Get(const std::string& path, const TQuery& query, std::string_view action);
    TServiceAnswer Post(const std::string& path, const nlohmann::json& body,
                        std::string_view action);

    // The service as given, for reports.
    std::string Name() const;

  private:
    TServiceOptions options_;
    const TServiceModule& module_;
};

// One path segment or query value with every byte but the unreserved ones %-escaped.
std::string PercentEncode(std::string_view text);

}  // namespace kstbell::cli
