#pragma once

// kstbelld's HTTP front: the API, the event streams, the metrics and the page's files, on
// Debian's cpp-httplib (plain HTTP, or HTTPS only when a certificate and key are configured).
// The sockets are its own (TConnectionGate): connections are counted per client, request heads
// are read with a deadline and limits before any thread takes them, and requests then run on
// a pool of threads: one per open event stream (capped) and a number for everything else, so
// that neither slow clients nor streams take the threads short requests need. The library
// parses each request and writes its answer. It reaches the service only through IWebService.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "web/event_hub.h"
#include "web/http_config.h"
#include "web/router.h"
#include "web/service_port.h"

namespace kstbell::web {

// A line for the service's log: every change asked for and every refusal, with method, path
// (never the query), status, and who asked. No credential ever appears in one.
using TWebLog = std::function<void(const std::string& line)>;

struct TWebFrontOptions {
    THttpConfig Config;
    std::filesystem::path PageDir;  // the page's files; empty: none served
    std::string Version;
    TWebLog Log;
    // Threads for requests other than event streams (keep-alive connections hold one each
    // while open).
    std::size_t Workers = 64;
    std::chrono::milliseconds Heartbeat{15000};
    std::size_t StreamQueueFrames = 256;  // events a stream may fall behind before it is dropped
    // How long a stream gathers the events that follow a write before it writes them: what
    // arrives together (a ring on many horns, the changes one poll saw) goes out in a few writes
    // instead of one per event, while a single change after a quiet spell is written at once.
    // Short, so that a lamp follows its horn within a few milliseconds of the poll that saw it.
    std::chrono::milliseconds StreamGather{5};
    // How often an open event stream checks that its session or token still holds (and its
    // user is still there and enabled); it ends once they do not.
    std::chrono::milliseconds StreamRecheck{500};
    // From a request's first byte to the last of its head and body; a head not complete by then
    // gets 408 and the connection closes.
    std::chrono::milliseconds RequestTimeout{10000};
    // A connection that has no request in progress is closed after this.
    std::chrono::milliseconds IdleTimeout{5000};
    std::size_t MaxHeadBytes = 16384;  // more: 431 (a request line alone: 414)
    std::size_t MaxHeaderLines = 100;  // more: 431
};

class TWebFront {
  public:
    TWebFront(IWebService& service, TWebFrontOptions options);
    ~TWebFront();
    TWebFront(const TWebFront&) = delete;
    TWebFront& operator=(const TWebFront&) = delete;

    // Binds the listen address, subscribes to the service's events and serves in the
    // background. False, with the reason, when it cannot (the address is taken, the TLS files
    // cannot be read).
    bool Start(std::string& error);
    // Ends every event stream, stops listening and waits for running requests. Idempotent.
    void Stop();

    std::uint16_t Port() const;
    // "http://127.0.0.1:8786/" (https with TLS).
    std::string Url() const;
    const TRouter& Router() const;
    const nlohmann::json& OpenApi() const;
    TEventHub& Events();
    // Connections open, and of them those waiting for a head or idle.
    std::size_t OpenConnections() const;
    std::size_t WaitingConnections() const;

  private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

}  // namespace kstbell::web
