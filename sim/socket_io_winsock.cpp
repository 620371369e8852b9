// The simulator's socket layer on Windows (Winsock 2).

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "sim/socket_io.h"

namespace kstbell::sim {

namespace {

constexpr int kListenBacklog = 64;

// Winsock is started once for the process and stays up.
struct TWinsockStart {
    TWinsockStart() {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
            throw std::runtime_error("Windows sockets could not be started");
    }
};

void EnsureWinsock() {
    static const TWinsockStart started;
}

SOCKET Raw(TSocket socket) {
    return static_cast<SOCKET>(socket);
}

std::string LastError(const char* what) {
    return std::string(what) + ": Windows socket error " + std::to_string(::WSAGetLastError());
}

void MakeNonBlocking(SOCKET s) {
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
}

TIoResult Outcome(int n) {
    if (n > 0) return {EIo::Done, static_cast<std::size_t>(n)};
    if (n == 0) return {EIo::Closed, 0};
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINTR) return {EIo::WouldBlock, 0};
    return {EIo::Failed, 0};
}

int Length(std::size_t n) {
    return static_cast<int>(n > 0x40000000u ? 0x40000000u : n);
}

}  // namespace

void CloseDescriptor(TSocket socket) {
    ::closesocket(Raw(socket));
}

TUniqueFd ListenTcp(const std::string& address, std::uint16_t port) {
    EnsureWinsock();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1)
        throw std::runtime_error("not an IPv4 address: " + address);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) throw std::runtime_error(LastError("socket"));
    TUniqueFd fd(static_cast<TSocket>(s));
    // Another program may not take the port while this one listens on it.
    const BOOL exclusive = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof exclusive);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error("cannot bind " + address + ":" + std::to_string(port) + ": " +
                                 LastError("bind"));
    if (::listen(s, kListenBacklog) != 0) throw std::runtime_error(LastError("listen"));
    MakeNonBlocking(s);
    return fd;
}

std::uint16_t BoundPort(TSocket socket) {
    sockaddr_in addr{};
    int length = sizeof addr;
    if (::getsockname(Raw(socket), reinterpret_cast<sockaddr*>(&addr), &length) != 0) return 0;
    return ntohs(addr.sin_port);
}

TAccepted AcceptConnection(TSocket listener) {
    TAccepted accepted;
    sockaddr_in peer{};
    int length = sizeof peer;
    const SOCKET s = ::accept(Raw(listener), reinterpret_cast<sockaddr*>(&peer), &length);
    if (s != INVALID_SOCKET) {
        MakeNonBlocking(s);
        accepted.Fd = TUniqueFd(static_cast<TSocket>(s));
        accepted.Status = EIo::Done;
        accepted.Peer = ntohl(peer.sin_addr.s_addr);
        return accepted;
    }
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINTR || error == WSAECONNRESET) {
        accepted.Status = EIo::WouldBlock;
        return accepted;
    }
    accepted.OutOfDescriptors = error == WSAEMFILE || error == WSAENOBUFS;
    accepted.Error = LastError("accept");
    return accepted;
}

TIoResult ReceiveSome(TSocket socket, std::span<std::uint8_t> into) {
    if (into.empty()) return {EIo::Done, 0};
    return Outcome(
        ::recv(Raw(socket), reinterpret_cast<char*>(into.data()), Length(into.size()), 0));
}

TIoResult SendSome(TSocket socket, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return {EIo::Done, 0};
    const TIoResult result = Outcome(
        ::send(Raw(socket), reinterpret_cast<const char*>(bytes.data()), Length(bytes.size()), 0));
    return result.Status == EIo::Closed ? TIoResult{EIo::WouldBlock, 0} : result;
}

void ShutdownSending(TSocket socket) {
    ::shutdown(Raw(socket), SD_SEND);
}

void CloseWithReset(TUniqueFd& fd) {
    const linger abort{1, 0};
    ::setsockopt(Raw(fd.Get()), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                 sizeof abort);
    fd.Reset();
}

void SetNoDelay(TSocket socket) {
    const BOOL on = TRUE;
    ::setsockopt(Raw(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                 sizeof on);
}

void SetSegmentSize(TSocket, int) {
    // Windows lets no listener announce a segment size: the system's stays.
}

TDescriptorLimit RaiseDescriptorLimit(std::uint64_t) {
    // Sockets are handles here, limited only by memory.
    return {UINT64_MAX, UINT64_MAX};
}

}  // namespace kstbell::sim

#endif  // _WIN32
