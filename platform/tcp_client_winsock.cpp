#ifdef _WIN32

// Own header first: the project's headers declare names (MessageBox) that <windows.h> would
// otherwise turn into macros.
#include "platform/tcp_client_winsock.h"

#include "protocol/ipv4_text.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// winsock2.h must come before the other Windows headers.
#include <winsock2.h>

#include <windows.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <type_traits>

namespace kstbell {

static_assert(sizeof(SOCKET) == sizeof(std::uintptr_t) && std::is_unsigned_v<SOCKET>);

namespace {

using TClock = std::chrono::steady_clock;

// The system's text for a Windows sockets error code.
TNetResult Failure(int err) {
    char text[256] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(err), 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    if (message.empty()) message = "error " + std::to_string(err);
    return {TNetStatus::Failed, "Socket error: " + message};
}

int ElapsedMs(TClock::time_point since) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - since).count());
}

// A set of one socket for select(); filled by hand, which the FD_SET macro would do the same.
fd_set SetOf(SOCKET s) {
    fd_set set{};
    set.fd_count = 1;
    set.fd_array[0] = s;
    return set;
}

// select() on one socket. Returns 1 when it is ready, 0 when the time passed, -1 when it
// failed (a connect that failed shows in the exception set) or select itself reported an error.
int SelectOne(SOCKET s, bool forWrite, int timeoutMs) {
    fd_set ready = SetOf(s);
    fd_set failed = SetOf(s);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int rc = ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr,
                            forWrite ? &failed : nullptr, &tv);
    if (rc < 0) return -1;
    if (rc == 0) return 0;
    if (forWrite && failed.fd_count != 0) return -1;
    return 1;
}

}  // namespace

TWinsockTcpClient::TWinsockTcpClient(IEventPump& pump) : pump_(pump) {
    WSADATA data;
    winsockStarted_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

TWinsockTcpClient::~TWinsockTcpClient() {
    Disconnect();
    if (winsockStarted_) ::WSACleanup();
}

void TWinsockTcpClient::SetHost(const std::string& host, std::uint16_t port) {
    host_ = host;
    port_ = port;
}

int TWinsockTcpClient::WaitReady(bool forWrite, int timeoutMs) {
    const auto start = TClock::now();
    for (;;) {
        const int remaining = timeoutMs - ElapsedMs(start);
        const int rc =
            SelectOne(static_cast<SOCKET>(sock_), forWrite, std::clamp(remaining, 0, kWaitSliceMs));
        if (rc != 0) return rc;
        if (remaining <= 0) return 0;
        pump_.PumpEvents();
        if (sock_ == kNoSocket) return -1;
    }
}

TNetResult TWinsockTcpClient::Connect(int timeoutMs) {
    Disconnect();
    if (!winsockStarted_) return {TNetStatus::Failed, "Socket error: Windows sockets unavailable"};
    const auto addr = ParseIpv4Text(host_);
    if (!addr) return {TNetStatus::Failed, "Invalid device address: " + host_};
    // Not inherited by child processes, like the close-on-exec socket elsewhere.
    const SOCKET s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                  WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return Failure(::WSAGetLastError());
    sock_ = static_cast<TSocket>(s);
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        const int err = ::WSAGetLastError();
        Disconnect();
        return Failure(err);
    }
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port_);
    sa.sin_addr.s_addr = htonl(*addr);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 &&
        ::WSAGetLastError() != WSAEWOULDBLOCK) {
        const int err = ::WSAGetLastError();
        Disconnect();
        return Failure(err);
    }
    // Window events run at least once while connecting, as they would on a slow network.
    pump_.PumpEvents();
    if (sock_ == kNoSocket) return {TNetStatus::Failed, "Connection closed while connecting"};
    const int ready = WaitReady(true, timeoutMs);
    if (sock_ == kNoSocket) return {TNetStatus::Failed, "Connection closed while connecting"};
    if (ready == 0) {
        Disconnect();
        return {TNetStatus::TimedOut, "Connect timed out"};
    }
    if (ready < 0) {
        // A refused or unreachable connect: the socket's pending error says which.
        int err = 0;
        int len = sizeof err;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0 ||
            err == 0) {
            err = WSAECONNREFUSED;
        }
        Disconnect();
        return Failure(err);
    }
    return {};
}

TNetResult TWinsockTcpClient::Write(std::span<const std::uint8_t> bytes) {
    if (sock_ == kNoSocket) return {TNetStatus::Failed, "Not connected"};
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const int piece = static_cast<int>(std::min<std::size_t>(bytes.size() - sent, 1 << 30));
        const int n = ::send(static_cast<SOCKET>(sock_),
                             reinterpret_cast<const char*>(bytes.data() + sent), piece, 0);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        const int err = n < 0 ? ::WSAGetLastError() : WSAECONNRESET;
        if (err == WSAEINTR) continue;
        if (err == WSAEWOULDBLOCK) {
            const int ready = WaitReady(true, kWriteStallMs);
            if (ready == 0) return {TNetStatus::Failed, "Socket error: the device stopped reading"};
            if (ready < 0) return {TNetStatus::Failed, "Socket error: connection lost"};
            continue;
        }
        return Failure(err);
    }
    return {};
}

bool TWinsockTcpClient::HasBufferedInput() {
    if (sock_ == kNoSocket) return false;
    return SelectOne(static_cast<SOCKET>(sock_), false, 0) > 0;
}

TNetResult TWinsockTcpClient::WaitForInput(int timeoutMs) {
    if (sock_ == kNoSocket) return {TNetStatus::Failed, "Not connected"};
    pump_.PumpEvents();
    if (sock_ == kNoSocket) return {TNetStatus::Failed, "Not connected"};
    const int rc = SelectOne(static_cast<SOCKET>(sock_), false, std::max(timeoutMs, 0));
    if (rc > 0) return {};
    if (rc < 0) return Failure(::WSAGetLastError());
    return {TNetStatus::TimedOut, {}};
}

TNetResult TWinsockTcpClient::ReadAvailable(std::span<std::uint8_t> into, std::size_t& count) {
    count = 0;
    if (sock_ == kNoSocket) return {TNetStatus::Failed, "Not connected"};
    const auto start = TClock::now();
    TReplyCollector reply(into, count);
    char chunk[4096];
    for (;;) {
        const int n = ::recv(static_cast<SOCKET>(sock_), chunk, sizeof chunk, 0);
        if (n > 0) {
            if (!reply.Take(chunk, static_cast<std::size_t>(n))) return {};
            continue;
        }
        if (n == 0) return {TNetStatus::Closed, {}};  // the device closed the connection
        const int err = ::WSAGetLastError();
        if (err == WSAEINTR) continue;
        if (err != WSAEWOULDBLOCK) return Failure(err);
        if (ElapsedMs(start) >= kMaxReadMs) return {};
        pump_.PumpEvents();
        if (sock_ == kNoSocket) return {TNetStatus::Failed, "Connection closed while reading"};
        const int rc = SelectOne(static_cast<SOCKET>(sock_), false, kQuietGapMs);
        if (rc == 0) return {};  // quiet: nothing more is coming
        if (rc < 0) return Failure(::WSAGetLastError());
    }
}

void TWinsockTcpClient::Disconnect() {
    if (sock_ != kNoSocket) {
        ::closesocket(static_cast<SOCKET>(sock_));
        sock_ = kNoSocket;
    }
}

}  // namespace kstbell

#endif  // _WIN32
