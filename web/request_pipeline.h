#pragma once

// What happens to one request between the HTTP library and a route's handler, in order:
// the target is read; a page file is looked up, or the route found (404, 405); until the
// service is ready only public routes answer (503 starting); credentials are checked (401),
// then the role (403) and, for a change made with a session cookie, its CSRF token (403); the
// path, query and body are checked against the route's fields (400), a body only when it is
// JSON (415) and within the limit (413, known from its length before it is read, or counted
// while it is read); then the handler runs. Nothing here touches a socket: the front hands in
// the request's parts and a way to read its body, and writes the answer it gets back.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/route.h"
#include "web/router.h"
#include "web/service_port.h"
#include "web/static_files.h"

namespace kstbell::web {

struct TRequestView {
    std::string_view Method;
    std::string_view Target;                 // as sent: path and query, percent-encoded
    std::vector<std::string> Cookies;        // every Cookie header
    std::vector<std::string> Authorization;  // every Authorization header
    std::vector<std::string> Csrf;           // every X-CSRF-Token header
    std::vector<std::string> ContentType;
    std::vector<std::string> ContentLength;
    std::vector<std::string> TransferEncoding;
    std::vector<std::string> IfNoneMatch;  // every If-None-Match header
    std::vector<std::string> IfMatch;      // every If-Match header
    std::string Client;                    // the peer's address
    bool Tls = false;
};

// Hands the body's bytes to the receiver as they come, until the receiver says stop (false).
// False when the body could not be read whole (the peer, or the receiver, stopped).
using TBodyReceiver = std::function<bool(const char* data, std::size_t size)>;
using TBodyReader = std::function<bool(const TBodyReceiver& receiver)>;

struct TReply {
    TApiResponse Response;
    // A body was announced and not read whole: the connection must close after the answer.
    bool Close = false;
    bool Api = false;               // under /api or /metrics: never cached
    const TRoute* Route = nullptr;  // the route it went to, if any
    std::string User;               // who asked, once known (for the log)
};

class TRequestPipeline {
  public:
    TRequestPipeline(IWebService& service, const TRouter& router, const TStaticFiles* pages,
                     std::size_t maxBodyBytes)
        : service_(service), router_(router), pages_(pages), maxBody_(maxBodyBytes) {}

    TReply Handle(const TRequestView& request, const TBodyReader& readBody) const;

  private:
    TReply Static(const TRequestView& request, const std::vector<std::string>& segments) const;
    // The body's checked object (or an error answer in reply).
    std::optional<nlohmann::json> Body(const TRequestView& request, const TRoute& route,
                                       const TBodyReader& readBody, TReply& reply) const;

    IWebService& service_;
    const TRouter& router_;
    const TStaticFiles* pages_;
    std::size_t maxBody_;
    mutable TAnswerCache cache_;
    mutable THornChanges changes_;
};

}  // namespace kstbell::web
