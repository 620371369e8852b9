#include "platform/tcp_client_posix.h"
#include "protocol/ipv4_text.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

namespace kstbell {

namespace {

using TClock = std::chrono::steady_clock;

TNetResult Failure(int err) {
    return {TNetStatus::Failed, std::string("Socket error: ") + std::strerror(err)};
}

int ElapsedMs(TClock::time_point since) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - since).count());
}

}  // namespace

TPosixTcpClient::TPosixTcpClient(IEventPump& pump) : pump_(pump) {}

TPosixTcpClient::~TPosixTcpClient() {
    Disconnect();
}

void TPosixTcpClient::SetHost(const std::string& host, std::uint16_t port) {
    host_ = host;
    port_ = port;
}

int TPosixTcpClient::WaitReady(short events, int timeoutMs) {
    const auto start = TClock::now();
    // Slices only give a window its events: without one, a silent horn costs one wake-up per
    // wait rather than one per slice.
    const int slice = pump_.RunsEvents() ? kWaitSliceMs : std::max(timeoutMs, 0);
    for (;;) {
        const int remaining = timeoutMs - ElapsedMs(start);
        pollfd p{fd_, events, 0};
        const int rc = ::poll(&p, 1, std::clamp(remaining, 0, slice));
        if (rc > 0) return p.revents;
        if (rc < 0 && errno != EINTR) return -1;
        if (remaining <= 0) return 0;
        pump_.PumpEvents();
        if (fd_ < 0) return -1;
    }
}

TNetResult TPosixTcpClient::Connect(int timeoutMs) {
    Disconnect();
    const auto addr = ParseIpv4Text(host_);
    if (!addr) return {TNetStatus::Failed, "Invalid device address: " + host_};
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return Failure(errno);
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port_);
    sa.sin_addr.s_addr = htonl(*addr);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 &&
        errno != EINPROGRESS) {
        const int err = errno;
        Disconnect();
        return Failure(err);
    }
    // Window events run at least once while connecting, as they would on a slow network.
    pump_.PumpEvents();
    if (fd_ < 0) return {TNetStatus::Failed, "Connection closed while connecting"};
    const int revents = WaitReady(POLLOUT, timeoutMs);
    if (revents == 0) {
        Disconnect();
        return {TNetStatus::TimedOut, "Connect timed out"};
    }
    int err = 0;
    socklen_t len = sizeof err;
    if (revents < 0 || ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
        if (err == 0) err = errno ? errno : ECONNREFUSED;
        Disconnect();
        return Failure(err);
    }
    return {};
}

TNetResult TPosixTcpClient::Write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) return {TNetStatus::Failed, "Not connected"};
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int revents = WaitReady(POLLOUT, writeStallMs_);
            if (revents == 0)
                return {TNetStatus::Failed, "Socket error: the device stopped reading"};
            if (revents < 0) return {TNetStatus::Failed, "Socket error: connection lost"};
            continue;
        }
        return Failure(n < 0 ? errno : EPIPE);
    }
    return {};
}

bool TPosixTcpClient::HasBufferedInput() {
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

TNetResult TPosixTcpClient::WaitForInput(int timeoutMs) {
    if (fd_ < 0) return {TNetStatus::Failed, "Not connected"};
    pump_.PumpEvents();
    if (fd_ < 0) return {TNetStatus::Failed, "Not connected"};
    pollfd p{fd_, POLLIN, 0};
    const int rc = ::poll(&p, 1, timeoutMs);
    if (rc > 0) return {};
    if (rc < 0 && errno != EINTR) return Failure(errno);
    return {TNetStatus::TimedOut, {}};
}

TNetResult TPosixTcpClient::ReadAvailable(std::span<std::uint8_t> into, std::size_t& count) {
    count = 0;
    if (fd_ < 0) return {TNetStatus::Failed, "Not connected"};
    const auto start = TClock::now();
    TReplyCollector reply(into, count);
    std::uint8_t chunk[4096];
    for (;;) {
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            if (!reply.Take(chunk, static_cast<std::size_t>(n))) return {};
            continue;
        }
        if (n == 0) return {TNetStatus::Closed, {}};  // the device closed the connection
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return Failure(errno);
        if (ElapsedMs(start) >= kMaxReadMs) return {};
        pump_.PumpEvents();
        if (fd_ < 0) return {TNetStatus::Failed, "Connection closed while reading"};
        pollfd p{fd_, POLLIN, 0};
        const int rc = ::poll(&p, 1, kQuietGapMs);
        if (rc == 0) return {};  // quiet: nothing more is coming
        if (rc < 0 && errno != EINTR) return Failure(errno);
    }
}

void TPosixTcpClient::Disconnect() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace kstbell
