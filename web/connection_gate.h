#pragma once

// What stands between the listening socket and the HTTP library: it accepts connections,
// counts them by client address (a client beyond its share is closed at once) and reads every
// request's head, and a body that fits the limit, on one thread of its own, without a worker.
// A head must be complete within a deadline, with a bounded size and number of header lines;
// a connection waiting for its next request is closed when it stays idle. Only a request ready
// to be served reaches a thread: event streams go to threads of their own, everything else to
// the workers, so that neither slow clients nor open streams take the threads that answer
// requests. One request is served at a time per connection; what follows it in the buffer
// (pipelined requests) comes back here and is served next, in order.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "web/request_head.h"

using SSL_CTX = struct ssl_ctx_st;

namespace httplib {
class Stream;
}

namespace kstbell::web {

struct TGateOptions {
    THeadLimits Head{};
    // Open connections per client address (those of open event streams aside).
    std::size_t PerClient = 16;
    // Open connections at most; 0: from the process's descriptor limit.
    std::size_t MaxConnections = 0;
    // From a request's first byte to the last of its head and body.
    std::chrono::milliseconds RequestTimeout{10000};
    // A connection without a request in progress is closed after this.
    std::chrono::milliseconds IdleTimeout{5000};
    // One wait of a worker for a write to go out.
    std::chrono::milliseconds WriteTimeout{5000};
    std::size_t KeepAliveRequests = 100;
    std::size_t Workers = 64;
    std::size_t StreamWorkers = 200;
    SSL_CTX* Tls = nullptr;  // HTTPS when set
};

// Serves the one request at the start of the stream: the HTTP library's request handling.
// last: the connection closes after it. closed: set when the request asked to close.
using TServeRequest = std::function<bool(httplib::Stream& stream, bool last, bool& closed)>;
// Whether a request goes to the event streams' threads.
using TIsStream = std::function<bool(std::string_view method, std::string_view target)>;

class TConnectionGate {
  public:
    TConnectionGate(TGateOptions options, TServeRequest serve, TIsStream isStream);
    ~TConnectionGate();
    TConnectionGate(const TConnectionGate&) = delete;
    TConnectionGate& operator=(const TConnectionGate&) = delete;

    // Takes the listening socket (bound and listening) and serves it until Stop.
    bool Start(int listenFd, std::string& error);
    // Stops accepting, closes every connection (waking the threads serving one) and waits for
    // the threads. Idempotent.
    void Stop();

    struct TCounts {
        std::size_t Open = 0;        // connections open
        std::size_t Waiting = 0;     // of them, held here for a head or idle
        std::uint64_t Refused = 0;   // closed at once: over a client's share or the total
        std::uint64_t TimedOut = 0;  // closed for a head not complete in time
    };
    TCounts Counts() const;

  private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

}  // namespace kstbell::web
