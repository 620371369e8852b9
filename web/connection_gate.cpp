#include "web/connection_gate.h"

#include <httplib.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "web/connection.h"
#include "web/connection_stream.h"

namespace kstbell::web {

namespace {

using TClock = std::chrono::steady_clock;

// Threads beyond the event streams' cap: a stream asked for while every one is open is
// answered (503) by one of these.
constexpr std::size_t kSpareStreamThreads = 8;
// How long accepting pauses when the process has no descriptor left.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);
constexpr auto kSweep = std::chrono::milliseconds(100);

std::size_t ConnectionsFromLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 4096;
    // Half the descriptors: the rest stay for the database, the horns and the broker.
    return std::clamp<std::size_t>(static_cast<std::size_t>(limit.rlim_cur) / 2, 16, 4096);
}

// The answer the gate gives by itself before it closes: the API's error body.
std::string Refusal(int status, const char* reason, const std::string& message) {
    const std::string body = R"({"error":{"kind":"invalid_input","message":")" + message + "\"}}";
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nConnection: close\r\nContent-Type: application/json\r\nCache-Control: "
           "no-store\r\nX-Content-Type-Options: nosniff\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

struct TConnectionGate::TImpl {
    TImpl(TGateOptions options, TServeRequest serve, TIsStream isStream)
        : Options(std::move(options)), Serve(std::move(serve)), IsStream(std::move(isStream)) {
        if (Options.MaxConnections == 0) Options.MaxConnections = ConnectionsFromLimit();
        Prebuffer = Options.Head;
        Prebuffer.MaxBodyBytes = std::min<std::size_t>(Prebuffer.MaxBodyBytes, 65536);
    }

    void Run();
    void Accept();
    void Admit(int fd);
    void OnReady(TConnection* c);
    void Dispatch(TConnection* c, const THeadScan& scan);
    void Refuse(TConnection* c, int status, const char* reason, const std::string& message);
    void Sweep();
    void TakeReturned();
    void Watch(TConnection* c, TConnection::TIo want, bool added);
    // Worker side.
    void ServeOne(TConnection* c);
    void GiveBack(TConnection* c);
    void Close(TConnection* c);
    bool EvictOldest();

    TGateOptions Options;
    THeadLimits Prebuffer;
    TServeRequest Serve;
    TIsStream IsStream;
    int Listen = -1;
    int Epoll = -1;
    int Wake = -1;
    std::thread Loop;
    std::unique_ptr<httplib::ThreadPool> Workers;
    std::unique_ptr<httplib::ThreadPool> Streams;
    std::atomic<bool> Stopping{false};
    bool Started = false;
    bool Stopped = false;

    mutable std::mutex M;  // guards what follows
    std::unordered_map<std::string, std::size_t> PerClient;
    std::unordered_set<TConnection*> All;
    std::vector<TConnection*> Returned;
    std::uint64_t Refused = 0;
    std::uint64_t TimedOut = 0;
    std::size_t WaitingCount = 0;

    // The gate's thread only.
    std::unordered_set<TConnection*> Waiting;
    TClock::time_point AcceptPausedUntil{};
    bool AcceptPaused = false;
};

void TConnectionGate::TImpl::Watch(TConnection* c, TConnection::TIo want, bool added) {
    epoll_event event{};
    event.events = want == TConnection::TIo::WantWrite ? EPOLLOUT : EPOLLIN;
    event.data.ptr = c;
    ::epoll_ctl(Epoll, added ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, c->Fd(), &event);
}

void TConnectionGate::TImpl::Close(TConnection* c) {
    {
        std::lock_guard lock(M);
        All.erase(c);
        if (c->Counted) {
            const auto it = PerClient.find(c->Peer);
            if (it != PerClient.end() && --it->second == 0) PerClient.erase(it);
        }
    }
    delete c;
}

bool TConnectionGate::TImpl::EvictOldest() {
    TConnection* oldest = nullptr;
    for (auto* c : Waiting) {
        if (!oldest || c->Deadline < oldest->Deadline) oldest = c;
    }
    if (!oldest) return false;
    Waiting.erase(oldest);
    Close(oldest);
    return true;
}

void TConnectionGate::TImpl::Accept() {
    for (int i = 0; i < 256; ++i) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int fd = ::accept4(Listen, reinterpret_cast<sockaddr*>(&address), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // No descriptor for it: the connection waits in the backlog. Polling again at
                // once would spin; accepting pauses a moment, while what is open goes on.
                ::epoll_ctl(Epoll, EPOLL_CTL_DEL, Listen, nullptr);
                AcceptPaused = true;
                AcceptPausedUntil = TClock::now() + kAcceptPause;
                std::lock_guard lock(M);
                ++Refused;
            }
            return;
        }
        Admit(fd);
    }
}

void TConnectionGate::TImpl::Admit(int fd) {
    auto* c = new TConnection(fd, Options.Tls);
    bool full = false;
    bool refuse = false;
    {
        std::lock_guard lock(M);
        full = All.size() >= Options.MaxConnections;
        refuse = PerClient[c->Peer] >= Options.PerClient;
        if (!refuse && !full) {
            ++PerClient[c->Peer];
            c->Counted = true;
            All.insert(c);
        } else {
            if (PerClient[c->Peer] == 0) PerClient.erase(c->Peer);
            ++Refused;
        }
    }
    if (full && !refuse && EvictOldest()) {
        // The slowest of the others made room.
        std::lock_guard lock(M);
        --Refused;
        ++PerClient[c->Peer];
        c->Counted = true;
        All.insert(c);
        full = false;
    }
    if (refuse || full) {
        if (!c->Tls()) {
            const auto text =
                Refusal(503, "Service Unavailable",
                        refuse ? "too many connections from this address" : "too many connections");
            std::size_t put = 0;
            c->Write(text.data(), text.size(), put);
        }
        delete c;
        return;
    }
    const auto now = TClock::now();
    c->RequestStart = now;
    c->Deadline = now + Options.RequestTimeout;
    Waiting.insert(c);
    Watch(c, TConnection::TIo::WantRead, false);
}

void TConnectionGate::TImpl::Refuse(TConnection* c, int status, const char* reason,
                                    const std::string& message) {
    const auto text = Refusal(status, reason, message);
    std::size_t put = 0;
    c->Write(text.data(), text.size(), put);
    Waiting.erase(c);
    Close(c);
}

void TConnectionGate::TImpl::OnReady(TConnection* c) {
    auto io = c->Handshake();
    if (io == TConnection::TIo::Done) {
        io = c->Fill(Options.Head.MaxHeadBytes + Prebuffer.MaxBodyBytes);
    }
    if (!c->Buffer.empty() && c->RequestStart == TClock::time_point{}) {
        // An idle connection's next request begins: it has the whole deadline from now.
        c->RequestStart = TClock::now();
        c->Deadline = c->RequestStart + Options.RequestTimeout;
    }
    const auto scan = ScanHead(c->Buffer, Prebuffer);
    switch (scan.State) {
        case THeadScan::TState::Ready:
            Dispatch(c, scan);
            return;
        case THeadScan::TState::TargetTooLong:
            Refuse(c, 414, "URI Too Long", "the request target is too long");
            return;
        case THeadScan::TState::HeadTooLarge:
            Refuse(c, 431, "Request Header Fields Too Large",
                   "the request's head is longer than " +
                       std::to_string(Options.Head.MaxHeadBytes) + " bytes");
            return;
        case THeadScan::TState::TooManyHeaders:
            Refuse(c, 431, "Request Header Fields Too Large",
                   "the request has more than " + std::to_string(Options.Head.MaxHeaderLines) +
                       " header lines");
            return;
        case THeadScan::TState::Incomplete:
            break;
    }
    if (io == TConnection::TIo::Closed) {
        Waiting.erase(c);
        Close(c);
        return;
    }
    Watch(c, io == TConnection::TIo::WantWrite ? io : TConnection::TIo::WantRead, true);
}

void TConnectionGate::TImpl::Dispatch(TConnection* c, const THeadScan& scan) {
    ::epoll_ctl(Epoll, EPOLL_CTL_DEL, c->Fd(), nullptr);
    Waiting.erase(c);
    const bool stream = IsStream && IsStream(scan.Method, scan.Target);
    if (stream) {
        // An event stream's connection is held by its thread, capped by the streams' own
        // limit: it leaves its client's share.
        std::lock_guard lock(M);
        if (c->Counted) {
            const auto it = PerClient.find(c->Peer);
            if (it != PerClient.end() && --it->second == 0) PerClient.erase(it);
            c->Counted = false;
        }
        c->Streaming = true;
    }
    (stream ? Streams : Workers)->enqueue([this, c] { ServeOne(c); });
}

void TConnectionGate::TImpl::ServeOne(TConnection* c) {
    bool last = ++c->Served >= Options.KeepAliveRequests || Stopping;
    bool closed = false;
    bool ok = false;
    int status = 0;
    bool failed = false;
    {
        TConnectionStream stream(*c, c->RequestStart + Options.RequestTimeout,
                                 Options.WriteTimeout);
        try {
            ok = Serve(stream, last, closed);
        } catch (const std::exception&) {
            ok = false;
        }
        status = stream.Status();
        failed = stream.Failed();
    }
    // After these the rest of the connection cannot be trusted to start a request.
    const bool framing = status == 400 || status == 408 || status == 411 || status == 413 ||
                         status == 414 || status == 431 || status == 0;
    if (!ok || closed || last || failed || framing || Stopping) {
        Close(c);
        return;
    }
    GiveBack(c);
}

void TConnectionGate::TImpl::GiveBack(TConnection* c) {
    {
        std::lock_guard lock(M);
        Returned.push_back(c);
    }
    const std::uint64_t one = 1;
    (void)!::write(Wake, &one, sizeof one);
}

void TConnectionGate::TImpl::TakeReturned() {
    std::uint64_t count = 0;
    (void)!::read(Wake, &count, sizeof count);
    std::vector<TConnection*> back;
    {
        std::lock_guard lock(M);
        back.swap(Returned);
        for (auto* c : back) {
            if (!c->Streaming) continue;
            c->Streaming = false;
            // Back among its client's connections, if its share has room.
            if (PerClient[c->Peer] < Options.PerClient) {
                ++PerClient[c->Peer];
                c->Counted = true;
            }
        }
    }
    const auto now = TClock::now();
    for (auto* c : back) {
        if (!c->Counted || Stopping) {
            Close(c);
            continue;
        }
        if (c->Buffer.empty()) {
            c->RequestStart = {};
            c->Deadline = now + Options.IdleTimeout;
        } else {
            c->RequestStart = now;
            c->Deadline = now + Options.RequestTimeout;
        }
        Waiting.insert(c);
        Watch(c, TConnection::TIo::WantRead, false);
        // A pipelined request may be in the buffer already (or in the TLS layer's).
        OnReady(c);
    }
}

void TConnectionGate::TImpl::Sweep() {
    const auto now = TClock::now();
    std::vector<TConnection*> expired;
    for (auto* c : Waiting) {
        if (now >= c->Deadline) expired.push_back(c);
    }
    for (auto* c : expired) {
        if (c->RequestStart != TClock::time_point{} && c->Handshaken && !c->Buffer.empty()) {
            {
                std::lock_guard lock(M);
                ++TimedOut;
            }
            Refuse(c, 408, "Request Timeout",
                   "the request did not come whole within " +
                       std::to_string(Options.RequestTimeout.count() / 1000) + " s");
        } else {
            if (c->RequestStart != TClock::time_point{}) {
                std::lock_guard lock(M);
                ++TimedOut;
            }
            Waiting.erase(c);
            Close(c);
        }
    }
}

void TConnectionGate::TImpl::Run() {
    auto nextSweep = TClock::now() + kSweep;
    std::vector<epoll_event> events(256);
    while (!Stopping) {
        const int n = ::epoll_wait(Epoll, events.data(), static_cast<int>(events.size()),
                                   static_cast<int>(kSweep.count()));
        for (int i = 0; i < n && !Stopping; ++i) {
            void* what = events[static_cast<std::size_t>(i)].data.ptr;
            if (what == &Listen) {
                Accept();
            } else if (what == &Wake) {
                TakeReturned();
            } else {
                auto* c = static_cast<TConnection*>(what);
                if (Waiting.count(c)) OnReady(c);
            }
        }
        const auto now = TClock::now();
        if (AcceptPaused && now >= AcceptPausedUntil) {
            AcceptPaused = false;
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.ptr = &Listen;
            ::epoll_ctl(Epoll, EPOLL_CTL_ADD, Listen, &event);
        }
        if (now >= nextSweep) {
            Sweep();
            nextSweep = now + kSweep;
            std::lock_guard lock(M);
            WaitingCount = Waiting.size();
        }
    }
    for (auto* c : Waiting)
        Close(c);
    Waiting.clear();
}

TConnectionGate::TConnectionGate(TGateOptions options, TServeRequest serve, TIsStream isStream)
    : impl_(std::make_unique<TImpl>(std::move(options), std::move(serve), std::move(isStream))) {}

TConnectionGate::~TConnectionGate() {
    Stop();
}

bool TConnectionGate::Start(int listenFd, std::string& error) {
    auto& impl = *impl_;
    impl.Listen = listenFd;
    impl.Epoll = ::epoll_create1(EPOLL_CLOEXEC);
    impl.Wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (impl.Epoll < 0 || impl.Wake < 0) {
        error = std::string("cannot wait for connections: ") + std::strerror(errno);
        return false;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = &impl.Listen;
    ::epoll_ctl(impl.Epoll, EPOLL_CTL_ADD, impl.Listen, &event);
    event.data.ptr = &impl.Wake;
    ::epoll_ctl(impl.Epoll, EPOLL_CTL_ADD, impl.Wake, &event);
    impl.Workers =
        std::make_unique<httplib::ThreadPool>(std::max<std::size_t>(impl.Options.Workers, 1));
    impl.Streams =
        std::make_unique<httplib::ThreadPool>(impl.Options.StreamWorkers + kSpareStreamThreads);
    impl.Loop = std::thread([&impl] { impl.Run(); });
    impl.Started = true;
    return true;
}

void TConnectionGate::Stop() {
    auto& impl = *impl_;
    if (!impl.Started || impl.Stopped) return;
    impl.Stopped = true;
    impl.Stopping = true;
    const std::uint64_t one = 1;
    (void)!::write(impl.Wake, &one, sizeof one);
    impl.Loop.join();
    ::close(impl.Listen);
    {
        // Wakes the threads waiting on a connection; each then closes its own.
        std::lock_guard lock(impl.M);
        for (auto* c : impl.All)
            c->ShutDown();
    }
    impl.Workers->shutdown();
    impl.Streams->shutdown();
    std::vector<TConnection*> left;
    {
        std::lock_guard lock(impl.M);
        left.assign(impl.All.begin(), impl.All.end());
    }
    for (auto* c : left)
        impl.Close(c);
    ::close(impl.Epoll);
    ::close(impl.Wake);
}

TConnectionGate::TCounts TConnectionGate::Counts() const {
    std::lock_guard lock(impl_->M);
    return {impl_->All.size(), impl_->WaitingCount, impl_->Refused, impl_->TimedOut};
}

}  // namespace kstbell::web
