#include "sim/socket_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace kstbell::sim {

namespace {

using TClock = std::chrono::steady_clock;

enum class EWait { Ready, Timeout, Woken, Error };

// Waits for fd (when not negative) to become readable, for the wake descriptor, or for the
// time to pass. Retries after signals with the time that is left.
EWait Wait(int fd, int wakeFd, int timeoutMs) {
    const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, POLLIN, 0}};
        const nfds_t count = fd >= 0 ? 2 : 1;
        int waitMs = -1;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now());
            waitMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        const int ready = ::poll(fds, count, waitMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return EWait::Error;
        }
        if (fds[0].revents != 0) return EWait::Woken;
        if (count == 2 && fds[1].revents != 0) return EWait::Ready;
        if (ready == 0 && (timeoutMs < 0 || TClock::now() >= deadline)) return EWait::Timeout;
    }
}

}  // namespace

EIoResult ReadSome(int fd, int wakeFd, int timeoutMs, std::vector<std::uint8_t>& into,
                   std::size_t maxBytes) {
    switch (Wait(fd, wakeFd, timeoutMs)) {
        case EWait::Ready:
            break;
        case EWait::Timeout:
            return EIoResult::Timeout;
        case EWait::Woken:
            return EIoResult::Stopped;
        case EWait::Error:
            return EIoResult::Error;
    }
    const std::size_t before = into.size();
    into.resize(before + maxBytes);
    ssize_t got;
    do {
        got = ::recv(fd, into.data() + before, maxBytes, MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    into.resize(before + (got > 0 ? static_cast<std::size_t>(got) : 0));
    if (got > 0) return EIoResult::Data;
    if (got == 0) return EIoResult::Eof;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return EIoResult::Timeout;
    return EIoResult::Error;
}

bool SendAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool PauseUnlessWoken(int wakeFd, int ms) {
    return Wait(-1, wakeFd, ms) == EWait::Timeout;
}

bool IsWoken(int wakeFd) {
    return Wait(-1, wakeFd, 0) == EWait::Woken;
}

void CloseWithReset(TUniqueFd& fd) {
    const linger abort{1, 0};
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    fd.Reset();
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
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        throw std::runtime_error("cannot bind " + address + ":" + std::to_string(port) + ": " +
                                 std::strerror(errno));
    }
    if (::listen(fd.Get(), 16) != 0) {
        throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
    }
    return fd;
}

std::uint16_t BoundPort(int fd) {
    sockaddr_in addr{};
    socklen_t length = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0) return 0;
    return ntohs(addr.sin_port);
}

}  // namespace kstbell::sim
