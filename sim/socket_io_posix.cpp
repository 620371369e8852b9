// The simulator's socket layer on POSIX systems.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "sim/socket_io.h"

namespace kstbell::sim {

namespace {

constexpr int kListenBacklog = 64;

TIoResult Outcome(ssize_t n) {
    if (n > 0) return {EIo::Done, static_cast<std::size_t>(n)};
    if (n == 0) return {EIo::Closed, 0};
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return {EIo::WouldBlock, 0};
    return {EIo::Failed, 0};
}

}  // namespace

void CloseDescriptor(TSocket socket) {
    ::close(static_cast<int>(socket));
}

TUniqueFd ListenTcp(const std::string& address, std::uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        throw std::runtime_error("not an IPv4 address: " + address);
    }
    TUniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid()) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    const int on = 1;
    ::setsockopt(static_cast<int>(fd.Get()), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(static_cast<int>(fd.Get()), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) !=
        0) {
        throw std::runtime_error("cannot bind " + address + ":" + std::to_string(port) + ": " +
                                 std::strerror(errno));
    }
    if (::listen(static_cast<int>(fd.Get()), kListenBacklog) != 0) {
        throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
    }
    return fd;
}

std::uint16_t BoundPort(TSocket socket) {
    const int fd = static_cast<int>(socket);
    sockaddr_in addr{};
    socklen_t length = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0) return 0;
    return ntohs(addr.sin_port);
}

TAccepted AcceptConnection(TSocket listenerSocket) {
    const int listener = static_cast<int>(listenerSocket);
    TAccepted accepted;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    accepted.Fd = TUniqueFd(::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                                      SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (accepted.Fd.Valid()) {
        accepted.Status = EIo::Done;
        accepted.Peer = ntohl(peer.sin_addr.s_addr);
        return accepted;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED) {
        accepted.Status = EIo::WouldBlock;
        return accepted;
    }
    accepted.OutOfDescriptors = errno == EMFILE || errno == ENFILE;
    accepted.Error = std::strerror(errno);
    return accepted;
}

TIoResult ReceiveSome(TSocket socket, std::span<std::uint8_t> into) {
    const int fd = static_cast<int>(socket);
    if (into.empty()) return {EIo::Done, 0};
    return Outcome(::recv(fd, into.data(), into.size(), 0));
}

TIoResult SendSome(TSocket socket, std::span<const std::uint8_t> bytes) {
    const int fd = static_cast<int>(socket);
    if (bytes.empty()) return {EIo::Done, 0};
    const TIoResult result = Outcome(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL));
    return result.Status == EIo::Closed ? TIoResult{EIo::WouldBlock, 0} : result;
}

void ShutdownSending(TSocket socket) {
    const int fd = static_cast<int>(socket);
    ::shutdown(fd, SHUT_WR);
}

void CloseWithReset(TUniqueFd& fd) {
    const linger abort{1, 0};
    ::setsockopt(static_cast<int>(fd.Get()), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    fd.Reset();
}

void SetNoDelay(TSocket socket) {
    const int fd = static_cast<int>(socket);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void SetSegmentSize(TSocket listenerSocket, int size) {
    const int listener = static_cast<int>(listenerSocket);
    ::setsockopt(listener, IPPROTO_TCP, TCP_MAXSEG, &size, sizeof size);
}

TDescriptorLimit RaiseDescriptorLimit(std::uint64_t wanted) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return {};
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        limit.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    const auto count = [](rlim_t value) {
        return value == RLIM_INFINITY ? UINT64_MAX : static_cast<std::uint64_t>(value);
    };
    return {count(limit.rlim_cur), count(limit.rlim_max)};
}

}  // namespace kstbell::sim
