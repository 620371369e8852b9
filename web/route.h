#pragma once

// One route of the API: method, path pattern, the permission it needs, its handler, and its
// description (inputs, answer, errors) from which the OpenAPI document is written. The routes
// live in one table (api_routes.h); the router, the checks of every request and the document
// all read that table.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "web/answer_cache.h"
#include "web/api_error.h"
#include "web/fields.h"
#include "web/horn_changes.h"
#include "web/service_port.h"

namespace kstbell::web {

struct TRouteDoc {
    std::string Tag{};  // the group the document lists it under
    std::string Summary{};
    std::string Description{};
    TFields PathParams{};  // one per {name} of the path, in order
    TFields Query{};
    std::optional<TFields> Body{};  // a JSON object with these keys; none: no body
    int Status = 200;               // of a success
    // The success's JSON schema (may use #/components/schemas/...); null: no body.
    nlohmann::json Response{};
    std::string ResponseType = "application/json";
    // What may go wrong besides what every route of its kind may answer (see openapi.cpp).
    std::vector<TErrorKind> Errors{};
};

// What a handler gets: the checked inputs and who asks.
struct TApiRequest {
    IWebService& Service;
    const TCaller* Caller = nullptr;                  // null on a public route
    nlohmann::json Path = nlohmann::json::object();   // typed path parameters
    nlohmann::json Query = nlohmann::json::object();  // typed query values
    nlohmann::json Body{};                            // the checked object, or null
    std::string Client{};                             // the peer's address
    std::optional<std::string> Cookie{};              // the session cookie presented
    std::vector<std::string> IfMatch{};               // every If-Match header, as sent
    bool Tls = false;
    TAnswerCache* Cache = nullptr;    // the front's kept answers, if any
    THornChanges* Changes = nullptr;  // the horns lists the front noted, if any
    // Every If-None-Match header, as sent: the versions of an answer that the client holds.
    std::vector<std::string> IfNoneMatch{};
};

struct TApiResponse {
    int Status = 200;
    nlohmann::json Json;                        // the body; null: none (or Text)
    std::string Text;                           // a body that is not JSON
    std::shared_ptr<const std::string> Shared;  // a body kept for many answers (before Text)
    std::string ContentType;                    // Text's
    std::vector<std::pair<std::string, std::string>> Headers;
    bool EventStream = false;  // the front answers with the event stream
};

using THandler = std::function<TApiResponse(const TApiRequest&)>;

struct TRoute {
    std::string Method{};  // GET, POST, PATCH, DELETE
    std::string Path{};    // "/api/v1/horns/{address}"
    // Every route states it; the tests refuse a route without one.
    std::optional<TAccess> Access{};
    THandler Handler{};
    TRouteDoc Doc{};
};

// Answers for handlers.
TApiResponse JsonAnswer(nlohmann::json body, int status = 200);
TApiResponse NoContent();
TApiResponse ErrorAnswer(const TFailure& failure);
inline TApiResponse ErrorAnswer(TErrorKind kind, std::string message) {
    return ErrorAnswer(Fail(kind, std::move(message)));
}

}  // namespace kstbell::web
