// The event loop's wait on Windows: WSAPoll over every watched socket, and a loopback datagram
// socket that other threads send one byte to for waking it.

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <map>
#include <stdexcept>
#include <string>

#include "sim/event_poller.h"
#include "sim/socket_io.h"

namespace kstbell::sim {

namespace {

constexpr std::uint64_t kWakeToken = UINT64_MAX;

std::runtime_error SystemError(const char* what) {
    return std::runtime_error(std::string(what) + ": Windows socket error " +
                              std::to_string(::WSAGetLastError()));
}

}  // namespace

struct TEventPoller::TImpl {
    TUniqueFd Wake;  // a datagram socket bound to loopback that sends to itself
    sockaddr_in WakeAddress{};
    struct TWatch {
        std::uint64_t Token = 0;
        unsigned Interest = InterestNone;
    };
    std::map<TSocket, TWatch> Watched;
    std::vector<WSAPOLLFD> Fds;
    std::vector<std::uint64_t> Tokens;
    bool Dirty = true;

    void Rebuild() {
        Fds.clear();
        Tokens.clear();
        Fds.push_back({static_cast<SOCKET>(Wake.Get()), POLLRDNORM, 0});
        Tokens.push_back(kWakeToken);
        for (const auto& [fd, watch] : Watched) {
            SHORT events = 0;
            if ((watch.Interest & InterestRead) != 0) events |= POLLRDNORM;
            if ((watch.Interest & InterestWrite) != 0) events |= POLLWRNORM;
            Fds.push_back({static_cast<SOCKET>(fd), events, 0});
            Tokens.push_back(watch.Token);
        }
        Dirty = false;
    }
};

TEventPoller::TEventPoller() : impl_(std::make_unique<TImpl>()) {
    // A listener started Winsock already; a poller made first starts it through this socket.
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) throw SystemError("socket");
    impl_->Wake = TUniqueFd(static_cast<TSocket>(s));
    sockaddr_in& addr = impl_->WakeAddress;
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int length = sizeof addr;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &length) != 0)
        throw SystemError("bind");
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
}

TEventPoller::~TEventPoller() = default;

void TEventPoller::Set(TSocket fd, std::uint64_t token, unsigned interest) {
    if (interest == InterestNone) {
        Forget(fd);
        return;
    }
    auto& watch = impl_->Watched[fd];
    if (watch.Token == token && watch.Interest == interest) return;
    watch = {token, interest};
    impl_->Dirty = true;
}

void TEventPoller::Forget(TSocket fd) {
    if (impl_->Watched.erase(fd) != 0) impl_->Dirty = true;
}

void TEventPoller::Wait(int timeoutMs, std::vector<TPollEvent>& events) {
    events.clear();
    if (impl_->Dirty) impl_->Rebuild();
    auto& fds = impl_->Fds;
    for (auto& f : fds)
        f.revents = 0;
    const int count = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
    if (count <= 0) return;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        const SHORT r = fds[i].revents;
        if (r == 0) continue;
        if (impl_->Tokens[i] == kWakeToken) {
            char drained[64];
            while (::recv(fds[i].fd, drained, sizeof drained, 0) > 0) {
            }
            continue;
        }
        TPollEvent event;
        event.Token = impl_->Tokens[i];
        event.Readable = (r & (POLLRDNORM | POLLERR | POLLHUP | POLLNVAL)) != 0;
        event.Writable = (r & (POLLWRNORM | POLLERR | POLLHUP)) != 0;
        events.push_back(event);
    }
}

void TEventPoller::Wake() {
    const char one = 1;
    ::sendto(static_cast<SOCKET>(impl_->Wake.Get()), &one, 1, 0,
             reinterpret_cast<const sockaddr*>(&impl_->WakeAddress), sizeof impl_->WakeAddress);
}

}  // namespace kstbell::sim

#endif  // _WIN32
