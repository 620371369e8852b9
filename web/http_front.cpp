#include "web/http_front.h"

#include <httplib.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "web/api_routes.h"
#include "web/json_views.h"
#include "web/openapi.h"
#include "web/request_pipeline.h"
#include "web/static_files.h"

namespace kstbell::web {

namespace {

using httplib::Server;

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
    for (auto& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return out;
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
                   Options.Config.MaxBodyBytes) {}

    void Serve(const httplib::Request& req, httplib::Response& res,
               const httplib::ContentReader* reader);
    void Write(httplib::Response& res, const TApiResponse& answer, bool close, bool api) const;
    void OpenStream(httplib::Response& res, TReply& reply);
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
    std::unique_ptr<Server> Http;
    std::thread Listener;
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
    try {
        reply = Pipeline.Handle(view, readBody);
    } catch (const std::exception& e) {
        reply.Response = ErrorAnswer(TErrorKind::Internal, "internal error");
        reply.Close = true;
        note = e.what();
    }
    if (reply.Response.EventStream) {
        OpenStream(res, reply);
    } else {
        Write(res, reply.Response, reply.Close, reply.Api);
    }
    LogLine(req, reply, note);
}

void TWebFront::TImpl::Write(httplib::Response& res, const TApiResponse& answer, bool close,
                             bool api) const {
    res.status = answer.Status;
    for (const auto& [name, value] : answer.Headers)
        res.set_header(name, value);
    if (api) res.set_header("Cache-Control", "no-store");
    if (close) res.set_header("Connection", "close");
    auto body = answer.Shared ? answer.Shared
                : answer.Json.is_null()
                    ? std::make_shared<const std::string>(answer.Text)
                    : std::make_shared<const std::string>(DumpJson(answer.Json));
    const std::string type = answer.Json.is_null() ? answer.ContentType : "application/json";
    if (body->empty() && !close) return;
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

void TWebFront::TImpl::OpenStream(httplib::Response& res, TReply& reply) {
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
    const auto heartbeat = Options.Heartbeat;
    const auto gather = Options.StreamGather;
    res.set_chunked_content_provider(
        "text/event-stream",
        [stream, first, heartbeat, gather, sent = false](std::size_t,
                                                         httplib::DataSink& sink) mutable {
            if (!sent) {
                sent = true;
                return sink.write(first->data(), first->size());
            }
            std::vector<TFrame> frames;
            switch (stream->Next(heartbeat, frames, gather)) {
                case TEventStream::TWait::Frames: {
                    std::string batch;
                    for (const auto& frame : frames)
                        batch += *frame;
                    return sink.write(batch.data(), batch.size());
                }
                case TEventStream::TWait::Idle: {
                    static constexpr char kBeat[] = ": keep-alive\n\n";
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
    const std::size_t threads = Options.Workers + Options.Config.EventStreams;
    Http->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    Http->set_payload_max_length(Options.Config.MaxBodyBytes);
    Http->set_keep_alive_max_count(100);
    Http->set_keep_alive_timeout(5);
    Http->set_read_timeout(10);
    Http->set_write_timeout(5);
    Http->set_tcp_nodelay(true);
    // The library's default is SO_REUSEPORT, with which a second program binding the same port
    // succeeds and the kernel shares the connections between them. Only SO_REUSEADDR: a restart
    // gets its port back at once, a second listener is refused.
    Http->set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
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
        auto server =
            std::make_unique<httplib::SSLServer>(config.TlsCert.c_str(), config.TlsKey.c_str());
        if (!server->is_valid()) {
            error = "cannot use the TLS certificate " + config.TlsCert + " with the key " +
                    config.TlsKey;
            return false;
        }
        SSL_CTX_set_min_proto_version(server->ssl_context(), TLS1_2_VERSION);
        impl.Http = std::move(server);
    } else {
        impl.Http = std::make_unique<Server>();
    }
    impl.Configure();
    const auto& host = config.Listen.Host;
    errno = 0;
    if (config.Listen.Port == 0) {
        const int port = impl.Http->bind_to_any_port(host);
        if (port <= 0) {
            error = "cannot listen on " + ListenText(config.Listen) + ": " + std::strerror(errno);
            return false;
        }
        impl.Port = static_cast<std::uint16_t>(port);
    } else {
        if (!impl.Http->bind_to_port(host, config.Listen.Port)) {
            error = "cannot listen on " + ListenText(config.Listen) + ": " + std::strerror(errno);
            return false;
        }
        impl.Port = config.Listen.Port;
    }
    impl.Service.Subscribe(&impl.Hub);
    auto ended = std::make_shared<std::atomic<bool>>(false);
    impl.Listener = std::thread([&impl, ended] {
        impl.Http->listen_after_bind();
        *ended = true;
    });
    // Stop before the loop runs would find nothing to stop: wait for it.
    while (!impl.Http->is_running() && !*ended) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
    impl.Http->stop();
    impl.Listener.join();
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
