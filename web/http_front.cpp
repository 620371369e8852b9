#include "web/http_front.h"

#include <httplib.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "text/control.h"
#include "web/api_routes.h"
#include "web/connection_gate.h"
#include "web/credentials.h"
#include "web/host_check.h"
#include "web/json_views.h"
#include "web/openapi.h"
#include "web/request_pipeline.h"
#include "web/static_files.h"

namespace kstbell::web {

using httplib::Server;

// The library's handling of one request, without its sockets: the connection gate hands it
// each request over a stream of its own.
class TLibraryServer final : public Server {
  public:
    bool ServeOne(httplib::Stream& stream, bool last, bool& closed) {
        return process_request(stream, last, closed, nullptr);
    }
    // The library writes a chunked body only while it takes itself to be listening.
    void SetListening(socket_t fd) { svr_sock_ = fd; }
};

namespace {

// A socket bound to the address and listening, or -1 with the reason. With port 0 the port the
// system chose is in port.
int BindListener(const TListen& listen, std::uint16_t& port, std::string& error) {
    const auto fail = [&listen, &error](int fd) {
        error = "cannot listen on " + ListenText(listen) + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return -1;
    };
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(listen.Host.c_str(), std::to_string(listen.Port).c_str(), &hints, &found) !=
            0 ||
        !found) {
        errno = EINVAL;
        return fail(-1);
    }
    const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ::freeaddrinfo(found);
        return fail(-1);
    }
    // Only SO_REUSEADDR (not SO_REUSEPORT, with which a second program binding the same port
    // would succeed and get a share of the connections): a restart gets its port back at once,
    // a second listener is refused.
    int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (found->ai_family == AF_INET6) {
        int no = 0;  // "::" takes IPv4 clients too
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
    }
    const bool bound = ::bind(fd, found->ai_addr, found->ai_addrlen) == 0;
    ::freeaddrinfo(found);
    if (!bound || ::listen(fd, 1024) != 0) return fail(fd);
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return fail(fd);
    port = ntohs(address.ss_family == AF_INET6
                     ? reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port
                     : reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    return fd;
}

// The server side of TLS with the certificate (and its chain) and key, TLS 1.2 at least; null
// when they cannot be used together.
SSL_CTX* TlsContext(const THttpConfig& config) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context) return nullptr;
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION);
    if (SSL_CTX_use_certificate_chain_file(context, config.TlsCert.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, config.TlsKey.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(context) != 1) {
        SSL_CTX_free(context);
        return nullptr;
    }
    return context;
}

// How an open event stream shows it still may: the credential it was opened with.
struct TStreamCredential {
    std::optional<std::string> Token;
    std::optional<std::string> Cookie;
};

TStreamCredential CredentialOf(const TRequestView& view) {
    TStreamCredential out;
    const auto bearer = BearerToken(view.Authorization);
    if (bearer.Present) {
        out.Token = bearer.Token;
    } else {
        out.Cookie = SessionCookie(view.Cookies);
    }
    return out;
}

std::vector<std::string> Values(const httplib::Headers& headers, const char* name) {
    std::vector<std::string> out;
    const auto [begin, end] = headers.equal_range(name);
    for (auto it = begin; it != end; ++it)
        out.push_back(it->second);
    return out;
}

// The path of a target for the log: no query, no control bytes.
std::string LogPath(std::string_view target) {
    std::string out(target.substr(0, target.find('?')));
    if (out.size() > 200) out = out.substr(0, 200) + "...";
    return text::MaskControlBytes(std::move(out));
}

TErrorKind KindOfStatus(int status) {
    switch (status) {
        case 401:
            return TErrorKind::Unauthenticated;
        case 403:
            return TErrorKind::Forbidden;
        case 404:
            return TErrorKind::NotFound;
        case 405:
            return TErrorKind::MethodNotAllowed;
        case 411:
            return TErrorKind::LengthRequired;
        case 413:
            return TErrorKind::TooLarge;
        case 415:
            return TErrorKind::UnsupportedMediaType;
        case 503:
            return TErrorKind::Busy;
        default:
            return status >= 500 ? TErrorKind::Internal : TErrorKind::InvalidInput;
    }
}

// For answers the library gives by itself.
std::string LibraryMessage(int status) {
    switch (status) {
        case 400:
            return "the request cannot be read";
        case 413:
            return "the request is too large";
        case 414:
            return "the request target is too long";
        case 416:
            return "the range cannot be served";
        default:
            return status >= 500 ? "internal error" : "the request cannot be served";
    }
}

httplib::Headers SecurityHeaders(bool tls) {
    httplib::Headers headers = {
        {"Content-Security-Policy",
         "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'self'"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
        {"X-Frame-Options", "DENY"},
        {"Cross-Origin-Opener-Policy", "same-origin"},
        {"Cross-Origin-Resource-Policy", "same-origin"},
    };
    if (tls) headers.emplace("Strict-Transport-Security", "max-age=31536000");
    return headers;
}

}  // namespace

struct TWebFront::TImpl {
    TImpl(IWebService& service, TWebFrontOptions options)
        : Service(service),
          Options(std::move(options)),
          Router(ApiRoutes({Options.Config.MetricsPublic, [this] { return OpenApiText; }})),
          OpenApi(OpenApiDocument(Router.Routes(), Options.Version)),
          OpenApiText(DumpJson(OpenApi)),
          Pages(Options.PageDir),
          Hub(Options.Config.EventStreams, Options.StreamQueueFrames),
          Pipeline(service, Router, Options.PageDir.empty() ? nullptr : &Pages,
                   Options.Config.MaxBodyBytes),
          Hosts(Options.Config.Names, Options.Config.Tls()) {}
    ~TImpl() {
        if (Tls) SSL_CTX_free(Tls);
    }

    void Serve(const httplib::Request& req, httplib::Response& res,
               const httplib::ContentReader* reader);
    // close: the connection closes after the answer (the library says so itself when the
    // request asked for it).
    void Write(httplib::Response& res, const TApiResponse& answer, bool close, bool api,
               bool asked = false) const;
    void OpenStream(httplib::Response& res, TReply& reply, const TRequestView& view);
    // Whether the stream's credential still opens it.
    bool StillAllowed(const TStreamCredential& credential) const;
    void Configure();
    void LogLine(const httplib::Request& req, const TReply& reply, const std::string& note) const;

    IWebService& Service;
    TWebFrontOptions Options;
    TRouter Router;
    nlohmann::json OpenApi;
    std::string OpenApiText;
    TStaticFiles Pages;
    TEventHub Hub;
    TRequestPipeline Pipeline;
    THostCheck Hosts;
    std::unique_ptr<TLibraryServer> Http;
    std::unique_ptr<TConnectionGate> Gate;
    SSL_CTX* Tls = nullptr;
    std::uint16_t Port = 0;
    std::mutex StopMutex;
    bool Started = false;
    bool Stopped = false;
};

void TWebFront::TImpl::Serve(const httplib::Request& req, httplib::Response& res,
                             const httplib::ContentReader* reader) {
    TRequestView view;
    view.Method = req.method;
    view.Target = req.target;
    view.Cookies = Values(req.headers, "Cookie");
    view.Authorization = Values(req.headers, "Authorization");
    view.Csrf = Values(req.headers, "X-CSRF-Token");
    view.ContentType = Values(req.headers, "Content-Type");
    view.ContentLength = Values(req.headers, "Content-Length");
    view.TransferEncoding = Values(req.headers, "Transfer-Encoding");
    view.IfNoneMatch = Values(req.headers, "If-None-Match");
    view.IfMatch = Values(req.headers, "If-Match");
    view.Client = req.remote_addr;
    view.Tls = Options.Config.Tls();
    TBodyReader readBody;
    if (reader) {
        readBody = [reader](const TBodyReceiver& receiver) {
            return (*reader)(httplib::ContentReceiver(receiver));
        };
    }
    TReply reply;
    std::string note;
    bool missing = false;
    const auto misdirected = Hosts.Refusal(Values(req.headers, "Host"), req.version, req.local_addr,
                                           req.local_port, missing);
    if (!misdirected.empty()) {
        reply.Response =
            ErrorAnswer(missing ? TErrorKind::InvalidInput : TErrorKind::Misdirected, misdirected);
        // A body it may have had is never read.
        reply.Close = true;
        reply.Api = true;
    } else {
        try {
            reply = Pipeline.Handle(view, readBody);
        } catch (const std::exception& e) {
            reply.Response = ErrorAnswer(TErrorKind::Internal, "internal error");
            reply.Close = true;
            note = e.what();
        }
    }
    if (reply.Response.EventStream) {
        OpenStream(res, reply, view);
    } else {
        Write(res, reply.Response, reply.Close, reply.Api,
              req.get_header_value("Connection") == "close");
    }
    LogLine(req, reply, note);
}

void TWebFront::TImpl::Write(httplib::Response& res, const TApiResponse& answer, bool close,
                             bool api, bool asked) const {
    res.status = answer.Status;
    for (const auto& [name, value] : answer.Headers)
        res.set_header(name, value);
    if (api) res.set_header("Cache-Control", "no-store");
    if (close && !asked) res.set_header("Connection", "close");
    auto body = answer.Shared ? answer.Shared
                : answer.Json.is_null()
                    ? std::make_shared<const std::string>(answer.Text)
                    : std::make_shared<const std::string>(DumpJson(answer.Json));
    const std::string type = answer.Json.is_null() ? answer.ContentType : "application/json";
    // 304 Not Modified never has a body, not even the line a closing answer gets.
    if (answer.Status == 304 || (body->empty() && !close)) return;
    if (body->empty()) body = std::make_shared<const std::string>("\n");
    // Through a provider of known length: the library then neither compresses the body nor
    // copies it again, and a provider that answers false closes the connection once the body
    // is out (a body left unread must not be taken for the next request).
    res.set_content_provider(
        body->size(), type.empty() ? "application/octet-stream" : type,
        [body, close](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            sink.write(body->data() + offset, length);
            return !close;
        });
}

bool TWebFront::TImpl::StillAllowed(const TStreamCredential& credential) const {
    std::optional<TCaller> caller;
    if (credential.Token) {
        caller = Service.Token(*credential.Token);
    } else if (credential.Cookie) {
        caller = Service.Session(*credential.Cookie);
    }
    return caller && Grants(caller->Role, TAccess::View);
}

void TWebFront::TImpl::OpenStream(httplib::Response& res, TReply& reply, const TRequestView& view) {
    auto stream = Hub.Open();
    if (!stream) {
        reply.Response =
            ErrorAnswer(TErrorKind::Busy, "too many event streams are open (" +
                                              std::to_string(Options.Config.EventStreams) + ")");
        reply.Response.Headers.emplace_back("Retry-After", "10");
        Write(res, reply.Response, reply.Close, true);
        return;
    }
    // The stream is registered before the snapshot is read: a change in between comes after
    // the snapshot as well, and the page ends up right.
    const nlohmann::json snapshot = {{"site", Service.Health().Site},
                                     {"horns", ToJsonList(Service.Horns())},
                                     {"alarms", ToJsonList(Service.Alarms())}};
    auto first =
        std::make_shared<const std::string>("retry: 3000\n\n" + EventFrame("snapshot", snapshot));
    res.status = 200;
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Accel-Buffering", "no");
    using TClock = std::chrono::steady_clock;
    struct TState {
        bool Sent = false;
        TClock::time_point Beat{};     // when the next heartbeat is due
        TClock::time_point Recheck{};  // when the credential is checked next
    };
    auto state = std::make_shared<TState>();
    const auto heartbeat = Options.Heartbeat;
    const auto gather = Options.StreamGather;
    const auto recheck = Options.StreamRecheck;
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, stream, first, heartbeat, gather, recheck, state, credential = CredentialOf(view)](
            std::size_t, httplib::DataSink& sink) {
            const auto now = TClock::now();
            if (!state->Sent) {
                state->Sent = true;
                state->Beat = now + heartbeat;
                state->Recheck = now + recheck;
                return sink.write(first->data(), first->size());
            }
            if (now >= state->Recheck) {
                // A session logged out or expired, a token revoked, a user removed or
                // disabled: the stream ends with its last chunk; the page's reconnect then
                // gets 401.
                if (!StillAllowed(credential)) {
                    sink.done();
                    return true;
                }
                state->Recheck = TClock::now() + recheck;
            }
            const auto wake = std::min(state->Beat, state->Recheck);
            const auto wait = std::max(
                std::chrono::duration_cast<std::chrono::milliseconds>(wake - TClock::now()),
                std::chrono::milliseconds(0));
            std::vector<TFrame> frames;
            switch (stream->Next(wait, frames, gather)) {
                case TEventStream::TWait::Frames: {
                    std::string batch;
                    for (const auto& frame : frames)
                        batch += *frame;
                    state->Beat = TClock::now() + heartbeat;
                    return sink.write(batch.data(), batch.size());
                }
                case TEventStream::TWait::Idle: {
                    if (TClock::now() < state->Beat) return true;
                    static constexpr char kBeat[] = ": keep-alive\n\n";
                    state->Beat = TClock::now() + heartbeat;
                    return sink.write(kBeat, sizeof kBeat - 1);
                }
                case TEventStream::TWait::Ended:
                    // Dropped for falling behind: cut the connection. The front stops: end
                    // the stream properly.
                    if (stream->Dropped()) return false;
                    sink.done();
                    return true;
            }
            return false;
        },
        [this, stream](bool) { Hub.Release(stream); });
}

void TWebFront::TImpl::LogLine(const httplib::Request& req, const TReply& reply,
                               const std::string& note) const {
    const int status = reply.Response.Status;
    const bool change = req.method != "GET" && req.method != "HEAD";
    if (!Options.Log || (!change && status < 400)) return;
    std::string line =
        "http: " + req.method + " " + LogPath(req.target) + " " + std::to_string(status);
    if (status >= 400 && reply.Response.Json.contains("error")) {
        line += " " + reply.Response.Json["error"].value("kind", std::string());
    }
    line += " from " + req.remote_addr;
    if (!reply.User.empty()) line += " by " + reply.User;
    if (!note.empty()) line += ": " + note;
    Options.Log(line);
}

void TWebFront::TImpl::Configure() {
    // What the library says in its Keep-Alive header; the gate closes idle connections.
    Http->set_keep_alive_max_count(100);
    Http->set_keep_alive_timeout(std::max<time_t>(
        1, std::chrono::duration_cast<std::chrono::seconds>(Options.IdleTimeout).count()));
    Http->set_payload_max_length(Options.Config.MaxBodyBytes);
    Http->set_default_headers(SecurityHeaders(Options.Config.Tls()));
    const auto plain = [this](const httplib::Request& req, httplib::Response& res) {
        Serve(req, res, nullptr);
    };
    const auto withBody = [this](const httplib::Request& req, httplib::Response& res,
                                 const httplib::ContentReader& reader) {
        Serve(req, res, &reader);
    };
    Http->Get(".*", plain);
    Http->Options(".*", plain);
    Http->Post(".*", withBody);
    Http->Put(".*", withBody);
    Http->Patch(".*", withBody);
    Http->Delete(".*", withBody);
    // A body announced larger than the limit is refused before the client sends it.
    Http->set_expect_100_continue_handler([this](const httplib::Request& req,
                                                 httplib::Response& res) {
        const auto text = req.get_header_value("Content-Length");
        std::uint64_t length = 0;
        std::from_chars(text.data(), text.data() + text.size(), length);
        if (length <= Options.Config.MaxBodyBytes) return 100;
        Write(res,
              ErrorAnswer(TErrorKind::TooLarge, "the body is larger than " +
                                                    std::to_string(Options.Config.MaxBodyBytes) +
                                                    " bytes"),
              true, true);
        return 413;
    });
    // What the library answers by itself (a request line it cannot read, a target too long)
    // gets the API's error body too.
    Http->set_error_handler(
        Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty() || res.content_provider_) {
                return Server::HandlerResponse::Unhandled;
            }
            const auto answer = ErrorAnswer(KindOfStatus(res.status), LibraryMessage(res.status));
            res.set_content(DumpJson(answer.Json), "application/json");
            // The gate closes the connection after a request it could not read.
            if (res.status == 400 || res.status == 414) res.set_header("Connection", "close");
            return Server::HandlerResponse::Handled;
        }));
}

TWebFront::TWebFront(IWebService& service, TWebFrontOptions options)
    : impl_(std::make_unique<TImpl>(service, std::move(options))) {}

TWebFront::~TWebFront() {
    Stop();
}

bool TWebFront::Start(std::string& error) {
    auto& impl = *impl_;
    const auto& config = impl.Options.Config;
    if (impl.Started) {
        error = "already started";
        return false;
    }
    if (config.Tls()) {
        impl.Tls = TlsContext(config);
        if (!impl.Tls) {
            error = "cannot use the TLS certificate " + config.TlsCert + " with the key " +
                    config.TlsKey;
            return false;
        }
    }
    impl.Http = std::make_unique<TLibraryServer>();
    impl.Configure();
    const int listener = BindListener(config.Listen, impl.Port, error);
    if (listener < 0) return false;
    TGateOptions gate;
    gate.Head = {impl.Options.MaxHeadBytes, impl.Options.MaxHeaderLines, config.MaxBodyBytes};
    gate.PerClient = config.ConnectionsPerClient;
    gate.RequestTimeout = impl.Options.RequestTimeout;
    gate.IdleTimeout = impl.Options.IdleTimeout;
    gate.KeepAliveRequests = 100;
    gate.Workers = impl.Options.Workers;
    gate.StreamWorkers = config.EventStreams;
    gate.Tls = impl.Tls;
    const std::string events = std::string(kApiPrefix) + "/events";
    impl.Gate = std::make_unique<TConnectionGate>(
        gate,
        [&impl](httplib::Stream& stream, bool last, bool& closed) {
            return impl.Http->ServeOne(stream, last, closed);
        },
        [events](std::string_view method, std::string_view target) {
            return method == "GET" && target.substr(0, target.find('?')) == events;
        });
    impl.Http->SetListening(listener);
    impl.Service.Subscribe(&impl.Hub);
    if (!impl.Gate->Start(listener, error)) {
        impl.Service.Subscribe(nullptr);
        impl.Http->SetListening(INVALID_SOCKET);
        ::close(listener);
        return false;
    }
    impl.Started = true;
    return true;
}

void TWebFront::Stop() {
    auto& impl = *impl_;
    std::lock_guard lock(impl.StopMutex);
    if (!impl.Started || impl.Stopped) return;
    impl.Stopped = true;
    impl.Service.Subscribe(nullptr);
    impl.Hub.CloseAll();
    // Streams end with their last chunk when they get the chance: a second at most, since a
    // stream may be stuck writing to a client that does not read.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (impl.Hub.OpenStreams() > 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    impl.Http->SetListening(INVALID_SOCKET);
    impl.Gate->Stop();
}

std::size_t TWebFront::OpenConnections() const {
    return impl_->Gate ? impl_->Gate->Counts().Open : 0;
}

std::size_t TWebFront::WaitingConnections() const {
    return impl_->Gate ? impl_->Gate->Counts().Waiting : 0;
}

std::uint16_t TWebFront::Port() const {
    return impl_->Port;
}

std::string TWebFront::Url() const {
    auto listen = impl_->Options.Config.Listen;
    listen.Port = impl_->Port;
    if (listen.Host == "0.0.0.0") listen.Host = "127.0.0.1";
    if (listen.Host == "::") listen.Host = "::1";
    return std::string(impl_->Options.Config.Tls() ? "https" : "http") + "://" +
           ListenText(listen) + "/";
}

const TRouter& TWebFront::Router() const {
    return impl_->Router;
}

const nlohmann::json& TWebFront::OpenApi() const {
    return impl_->OpenApi;
}

TEventHub& TWebFront::Events() {
    return impl_->Hub;
}

}  // namespace kstbell::web
