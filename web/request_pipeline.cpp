#include "web/request_pipeline.h"

#include <algorithm>
#include <charconv>

#include "web/credentials.h"
#include "web/header_text.h"
#include "web/json_views.h"

namespace kstbell::web {

namespace {

void Refuse(TReply& reply, TErrorKind kind, std::string message) {
    reply.Response = ErrorAnswer(kind, std::move(message));
}

// The body a request announces: none, a length, or chunks; nothing (with the reason) when its
// headers disagree or cannot be read.
struct TAnnounced {
    bool Body = false;
    bool Chunked = false;
    std::uint64_t Length = 0;
};

std::optional<TAnnounced> Announced(const TRequestView& request, std::string& error) {
    TAnnounced out;
    if (!request.TransferEncoding.empty()) {
        if (request.TransferEncoding.size() > 1 ||
            !EqualsNoCase(TrimBlanks(request.TransferEncoding.front()), "chunked")) {
            error = "only 'Transfer-Encoding: chunked' is read";
            return std::nullopt;
        }
        if (!request.ContentLength.empty()) {
            error = "a body may have a Content-Length or be chunked, not both";
            return std::nullopt;
        }
        out.Body = out.Chunked = true;
        return out;
    }
    for (const auto& header : request.ContentLength) {
        const auto text = TrimBlanks(header);
        std::uint64_t value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
            (out.Body && value != out.Length)) {
            error = "the Content-Length header is not one number";
            return std::nullopt;
        }
        out.Length = value;
        out.Body = true;
    }
    out.Body = out.Body && out.Length > 0;
    return out;
}

bool IsJson(const std::vector<std::string>& contentType) {
    if (contentType.size() != 1) return false;
    std::string_view type = contentType.front();
    type = TrimBlanks(type.substr(0, type.find(';')));
    return EqualsNoCase(type, "application/json");
}

bool Changes(std::string_view method) {
    return method != "GET" && method != "HEAD";
}

// Runs a call into the service; a service that cannot answer at all (its database cannot be
// read) is answered as the internal fault it is, never as a refusal of the caller. False then.
template <typename TCall>
bool Ask(TReply& reply, TCall&& call) {
    try {
        call();
        return true;
    } catch (const TServiceFault& fault) {
        Refuse(reply, TErrorKind::Internal, fault.what());
        return false;
    }
}

}  // namespace

TReply TRequestPipeline::Handle(const TRequestView& request, const TBodyReader& readBody) const {
    TReply reply;
    std::string error;
    const auto announced = Announced(request, error);
    if (!announced) {
        reply.Close = true;
        Refuse(reply, TErrorKind::InvalidInput, error);
        return reply;
    }
    // Until a body is read whole, the connection cannot carry another request.
    reply.Close = announced->Body;

    const auto target = ParseTarget(request.Target, error);
    if (!target) {
        Refuse(reply, TErrorKind::InvalidInput, error);
        return reply;
    }
    const auto& segments = target->Segments;
    const bool api =
        segments.front() == "api" || (segments.size() == 1 && segments[0] == "metrics");
    if (!api) return Static(request, segments);
    reply.Api = true;

    const auto match = router_.Match(request.Method, segments);
    if (!match.Route) {
        if (match.Allowed.empty()) {
            Refuse(reply, TErrorKind::NotFound, "no such route");
        } else {
            std::string allowed;
            for (const auto& method : match.Allowed)
                allowed += (allowed.empty() ? "" : ", ") + method;
            Refuse(reply, TErrorKind::MethodNotAllowed, "this route takes " + allowed);
            reply.Response.Headers.emplace_back("Allow", allowed);
        }
        return reply;
    }
    const auto& route = *match.Route;
    reply.Route = &route;
    const auto access = route.Access.value_or(TAccess::Administer);

    if (!service_.Ready()) {
        Refuse(reply, TErrorKind::Starting, "the service is starting; try again shortly");
        reply.Response.Headers.emplace_back("Retry-After", "5");
        return reply;
    }
    std::optional<TCaller> caller;
    const auto cookie = SessionCookie(request.Cookies);
    if (access != TAccess::Public) {
        const auto bearer = BearerToken(request.Authorization);
        bool session = false;
        if (bearer.Present) {
            if (!bearer.Problem.empty()) {
                Refuse(reply, TErrorKind::Unauthenticated, bearer.Problem);
                return reply;
            }
            if (!Ask(reply, [&] { caller = service_.Token(bearer.Token); })) return reply;
            if (!caller) {
                Refuse(reply, TErrorKind::Unauthenticated, "the API token is not valid");
                return reply;
            }
        } else if (cookie) {
            if (!Ask(reply, [&] { caller = service_.Session(*cookie); })) return reply;
            session = true;
            if (!caller) {
                Refuse(reply, TErrorKind::Unauthenticated, "the session has ended; log in again");
                return reply;
            }
        } else {
            Refuse(reply, TErrorKind::Unauthenticated,
                   "log in, or send 'Authorization: Bearer TOKEN'");
            return reply;
        }
        reply.User = caller->Actor();
        if (!Grants(caller->Role, access)) {
            Refuse(reply, TErrorKind::Forbidden,
                   "the role " + std::string(RoleName(caller->Role)) +
                       " may not do this (it needs " + std::string(AccessName(access)) + ")");
            return reply;
        }
        if (session && Changes(request.Method) &&
            (request.Csrf.size() != 1 || !SameSecret(request.Csrf.front(), caller->Csrf))) {
            Refuse(reply, TErrorKind::Forbidden,
                   "a change made with a session needs its CSRF token in X-CSRF-Token");
            return reply;
        }
    }

    TApiRequest apiRequest{.Service = service_,
                           .Caller = caller ? &*caller : nullptr,
                           .Client = request.Client,
                           .Cookie = cookie,
                           .IfMatch = request.IfMatch,
                           .Tls = request.Tls,
                           .Cache = &cache_,
                           .Changes = &changes_,
                           .IfNoneMatch = request.IfNoneMatch};
    auto path = ReadQuery(match.Params, route.Doc.PathParams, "path parameter", error);
    if (!path) {
        Refuse(reply, TErrorKind::InvalidInput, error);
        return reply;
    }
    apiRequest.Path = std::move(*path);
    auto query = ReadQuery(target->Query, route.Doc.Query, "query", error);
    if (!query) {
        Refuse(reply, TErrorKind::InvalidInput, error);
        return reply;
    }
    apiRequest.Query = std::move(*query);
    if (route.Doc.Body) {
        auto body = Body(request, route, readBody, reply);
        if (!body) return reply;
        apiRequest.Body = std::move(*body);
    } else if (announced->Body) {
        Refuse(reply, TErrorKind::InvalidInput, "this request takes no body");
        return reply;
    }
    Ask(reply, [&] { reply.Response = route.Handler(apiRequest); });
    return reply;
}

std::optional<nlohmann::json> TRequestPipeline::Body(const TRequestView& request,
                                                     const TRoute& route,
                                                     const TBodyReader& readBody,
                                                     TReply& reply) const {
    std::string error;
    const auto announced = Announced(request, error);
    const auto& fields = *route.Doc.Body;
    if (!announced->Body) {
        const bool needed =
            std::any_of(fields.begin(), fields.end(), [](const TField& f) { return f.Required; });
        if (needed) {
            Refuse(reply, TErrorKind::InvalidInput, "the body is empty; a JSON object is expected");
            return std::nullopt;
        }
        return nlohmann::json::object();
    }
    if (!IsJson(request.ContentType)) {
        Refuse(reply, TErrorKind::UnsupportedMediaType,
               "the body must be JSON, sent as 'Content-Type: application/json'");
        return std::nullopt;
    }
    const std::string limit = "the body is larger than " + std::to_string(maxBody_) + " bytes";
    if (!announced->Chunked && announced->Length > maxBody_) {
        Refuse(reply, TErrorKind::TooLarge, limit);
        return std::nullopt;
    }
    std::string text;
    bool tooLarge = false;
    const bool read = readBody && readBody([&](const char* data, std::size_t size) {
                          if (text.size() + size > maxBody_) {
                              tooLarge = true;
                              return false;
                          }
                          text.append(data, size);
                          return true;
                      });
    if (tooLarge) {
        Refuse(reply, TErrorKind::TooLarge, limit);
        return std::nullopt;
    }
    if (!read) {
        Refuse(reply, TErrorKind::InvalidInput, "the body could not be read whole");
        return std::nullopt;
    }
    reply.Close = false;
    auto body = ParseJsonObject(text, error);
    if (!body) {
        Refuse(reply, TErrorKind::InvalidInput, error);
        return std::nullopt;
    }
    if (auto problem = CheckObject(*body, fields)) {
        Refuse(reply, TErrorKind::InvalidInput, *problem);
        return std::nullopt;
    }
    return body;
}

TReply TRequestPipeline::Static(const TRequestView& request,
                                const std::vector<std::string>& segments) const {
    TReply reply;
    std::string error;
    reply.Close = Announced(request, error).value_or(TAnnounced{}).Body;
    if (request.Method != "GET" && request.Method != "HEAD") {
        Refuse(reply, TErrorKind::MethodNotAllowed, "the page's files are only read");
        reply.Response.Headers.emplace_back("Allow", "GET, HEAD");
        return reply;
    }
    std::optional<TStaticFile> file;
    if (pages_ && segments.size() == 1 && segments[0].empty()) {
        file = pages_->Find({"index.html"});
    } else if (pages_ && segments.size() >= 2 && segments[0] == "static") {
        file = pages_->Find({segments.begin() + 1, segments.end()});
    }
    if (!file) {
        Refuse(reply, TErrorKind::NotFound, "no such file");
        return reply;
    }
    reply.Response.Text = std::move(file->Body);
    reply.Response.ContentType = std::move(file->ContentType);
    reply.Response.Headers.emplace_back("Cache-Control", "no-cache");
    return reply;
}

}  // namespace kstbell::web
